// The desktop's restore wizard: step 1 the image, step 2 the destination
// partition, step 3 (the console's page) the password and description;
// Start checks the choices, asks, and runs the partition restore, with or
// without the disk start, or the restore of the disk start alone.
#ifndef DESK_RESTORE_DLG_H
#define DESK_RESTORE_DLG_H

#include "programs/desktop/desk_wizard_frame.h"
#include "quarn/api/quarn.h"
#include "jobs/restore_plan.h"

class RtWidget3;
class StartBkWidget;

namespace desk {

class RtWidget1;
class RtWidget2;

class RestoreDlg : public ::WizardFrame {
    Q_OBJECT

public:
    explicit RestoreDlg(QWidget* parent = nullptr);
    ~RestoreDlg() override;

    RtWidget1* page1() const { return m_page1; }
    RtWidget2* page2() const { return m_page2; }
    RtWidget3* page3() const { return m_page3; }
    StartBkWidget* progressPage() const { return m_progressPage; }

public slots:
    // The engine asks for a further volume of the image: the user picks it;
    // a missing file is asked for again, and cancelling ends the job.
    void browseForNextFile(QString& fileName);
    void startRestore();

protected:
    void workerCreated(QuarnThread* worker) override;
    void jobEnded() override;
    bool prepareStep(int step) override;
    void startClicked() override { startRestore(); }

private:
    RestorePlan::Choices planChoices() const;
    bool showProblem(const RestorePlan::Result& result);
    bool checkRestore();

    RtWidget1* m_page1;
    RtWidget2* m_page2;
    RtWidget3* m_page3;
    StartBkWidget* m_progressPage;
};

}  // namespace desk

#endif
