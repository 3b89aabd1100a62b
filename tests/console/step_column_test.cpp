// The console's three wizards draw their column of steps alike: going from
// one wizard to another, the steps, their captions and the arrow stay put;
// and the current step's small caption stays readable on the drawn pixels
// with a margin above 4.5:1.
#include "storage/parted_sanitizer_options.h"
#include "programs/rescue/console/backup_dlg.h"
#include "programs/rescue/console/clone_dlg.h"
#include "console/frame_console_fixture.h"
#include "programs/rescue/console/restore_dlg.h"
#include "wizard/window_checks.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace {

QList<QRect> stepGeometry(const WizardFrame& wizard)
{
    QList<QRect> places;
    for (int step = 0; step < 3; ++step)
        places << wizard.stepTitle(step)->geometry() << wizard.stepSubtitle(step)->geometry();
    return places;
}

TEST(StepColumn, EveryConsoleWizardDrawsItsStepsInTheSamePlaces)
{
    consoletest::consoleApp();
    BackupDlg backup;
    RestoreDlg restore(nullptr, QString());
    CloneDlg clone(QString(), nullptr);
    EXPECT_EQ(stepGeometry(restore), stepGeometry(backup));
    EXPECT_EQ(stepGeometry(clone), stepGeometry(backup));
    for (int step = 0; step < 3; ++step) {
        EXPECT_EQ(restore.stepTitle(step)->alignment(), backup.stepTitle(step)->alignment()) << step;
        EXPECT_EQ(restore.stepSubtitle(step)->alignment(), backup.stepSubtitle(step)->alignment()) << step;
    }
}

TEST(StepColumn, TheCurrentStepsCaptionKeepsAMarginAboveTheReadableContrast)
{
    consoletest::consoleApp();
    RestoreDlg restore(nullptr, QString());
    restore.show();
    for (int step = 0; step < 3; ++step) {
        // Each step is drawn as a user reaches it; the pages' own checks
        // refuse nothing on the way.
        if (step == 0)
            restore.showStep1();
        else if (step == 1)
            restore.showStep2();
        else
            restore.showStep3();
        QApplication::processEvents();
        const QImage shot = restore.grab().toImage();
        QStringList low;
        for (const QString& problem : WindowChecks::lowContrastTexts(&restore, shot, 5.0)) {
            if (problem.contains(restore.stepSubtitle(step)->text()) ||
                problem.contains(restore.stepTitle(step)->text()))
                low << problem;
        }
        EXPECT_EQ(low.join(QLatin1Char('\n')).toStdString(), "") << "step " << step + 1;
    }
}

}  // namespace
