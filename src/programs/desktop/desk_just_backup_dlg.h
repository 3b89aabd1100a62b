// The one-drive backup started by the shell's drive verb: the drive root is
// the program's only argument. The image goes, by fixed rules, into the
// default image folder as "<letter>_backup"; after a confirmation (and,
// over an existing image set, the question how it is replaced) a full
// backup runs on the worker while the progress page shows.
#ifndef DESK_JUST_BACKUP_DLG_H
#define DESK_JUST_BACKUP_DLG_H

#include "jobs/backup_plan.h"
#include "wizard/base_dlg.h"
#include "jobs/image_head_block.h"
#include "quarn/api/quarn.h"

#include <QElapsedTimer>

class StartBkWidget;
class QPushButton;

namespace desk {

class Worker;

class JustBackupDlg : public BaseDlg {
    Q_OBJECT

public:
    JustBackupDlg(const QString& drive, QWidget* parent = nullptr);
    ~JustBackupDlg() override;

    // Builds the head block, checks the place, fills the request and asks;
    // false when the backup must not run (main then ends with -1).
    bool prepare();
    const QString& savePath() const { return m_savePath; }
    const tagBackupArgument& request() const { return m_arg; }
    StartBkWidget* progressPage() const { return m_progressPage; }
    QPushButton* cancelButton() const { return m_nextBtn; }
    Worker* worker() const { return m_worker; }

signals:
    void finish();

public slots:
    int exec() override;
    bool checkBackup();
    void cancelBackup();
    void finishBackup();

protected:
    void keyReleaseEvent(QKeyEvent*) override {}

private:
    bool buildHead();
    bool agreeToReplace(const QString& destFsName);
    int message(const QString& title, const QString& text, const QString& icon, bool okCancel = false);

    QString m_drive;
    QString m_savePath;
    QElapsedTimer m_jobClock;
    StartBkWidget* m_progressPage;
    QPushButton* m_nextBtn;
    Worker* m_worker = nullptr;
    ImageHeadBlock m_head;
    tagBackupArgument m_arg;
    // The replaced image set, and the files of the base before the job.
    BackupPlan::Result m_plan;
    QStringList m_filesBeforeJob;
};

// The program's one-drive start: 0 after the job, -1 when it did not run.
int runOneDriveBackup(const QString& driveRoot);

}  // namespace desk

#endif
