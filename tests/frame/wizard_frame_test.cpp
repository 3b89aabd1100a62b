// The wizards' frame: the step column marks the current step, each button
// runs exactly one action however often the steps were walked, a step whose
// checks fail is not shown, and the worker is made once and reused.
#include "frame/frame_test_app.h"
#include "jobs/quarn_thread.h"
#include "wizard/wizard_frame.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const WizardFrame::StepColumn kSteps = {{80, 175, 280}, QSize(100, 50), {120, 215, 320},
                                        QSize(150, 20), {158, 253},     Qt::Alignment()};

class TestWizard : public WizardFrame {
public:
    TestWizard()
        : WizardFrame(nullptr, QStringLiteral("Test"), {"Step 1", "Step 2", "Step 3"}, {"a", "b", "c"},
                      kSteps)
    {
        for (QWidget*& page : m_testPages)
            page = new QWidget(this);
        setPages(m_testPages[0], m_testPages[1], m_testPages[2], nullptr);
        showStep1();
    }

    bool refuseStep3 = false;
    int starts = 0;
    int refusedChecks = 0;
    QWidget* m_testPages[3];

    QuarnThread* worker() { return jobWorker(); }

protected:
    bool prepareStep(int step) override
    {
        if (step == 3 && refuseStep3) {
            ++refusedChecks;
            return false;
        }
        return true;
    }
    void startClicked() override { ++starts; }
};

void click(QPushButton* button)
{
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << qPrintable(button->text());
    QTest::mouseClick(button, Qt::LeftButton);
}

void expectStep(TestWizard& wizard, int step)
{
    const int arrowY[] = {108, 198, 288};
    EXPECT_EQ(wizard.currentStep(), step);
    EXPECT_EQ(wizard.state(), static_cast<WizardFrame::State>(step - 1));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(wizard.m_testPages[i]->isVisible(), i == step - 1) << "page " << i;
        EXPECT_EQ(wizard.stepTitle(i)->styleSheet().contains(QStringLiteral("122, 56, 0")), i == step - 1);
        EXPECT_EQ(wizard.stepSubtitle(i)->styleSheet().contains(QStringLiteral("122, 56, 0")), i == step - 1);
    }
    EXPECT_EQ(wizard.arrowLabel()->pos(), QPoint(187, arrowY[step - 1]));
    EXPECT_EQ(wizard.previousButton()->isVisible(), step > 1);
    EXPECT_EQ(wizard.nextButton()->text(), step == 3 ? QStringLiteral("Start") : QStringLiteral("Next"));
}

TEST(WizardFrameSteps, TheColumnStandsWhereTheWizardPutsIt)
{
    frametest::testApp();
    TestWizard wizard;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(wizard.stepTitle(i)->geometry(), QRect(QPoint(48, kSteps.titleY[i]), kSteps.titleSize));
        EXPECT_EQ(wizard.stepSubtitle(i)->geometry(),
                  QRect(QPoint(48, kSteps.subtitleY[i]), kSteps.subtitleSize));
    }
    EXPECT_EQ(wizard.m_testPages[0]->pos(), QPoint(220, 90));
}

TEST(WizardFrameSteps, EachClickMovesOneStepAfterAnyWalk)
{
    frametest::testApp();
    TestWizard wizard;
    wizard.show();
    expectStep(wizard, 1);
    // Walk back and forth: a button bound twice would move two steps or
    // start twice.
    for (int round = 0; round < 3; ++round) {
        click(wizard.nextButton());
        expectStep(wizard, 2);
        click(wizard.nextButton());
        expectStep(wizard, 3);
        click(wizard.previousButton());
        expectStep(wizard, 2);
        click(wizard.previousButton());
        expectStep(wizard, 1);
    }
    click(wizard.nextButton());
    click(wizard.nextButton());
    click(wizard.nextButton());
    EXPECT_EQ(wizard.starts, 1);
    expectStep(wizard, 3);
}

TEST(WizardFrameSteps, AStepWhoseChecksFailIsNotShown)
{
    frametest::testApp();
    TestWizard wizard;
    wizard.show();
    wizard.refuseStep3 = true;
    click(wizard.nextButton());
    click(wizard.nextButton());
    EXPECT_EQ(wizard.refusedChecks, 1);
    expectStep(wizard, 2);
    wizard.refuseStep3 = false;
    click(wizard.nextButton());
    expectStep(wizard, 3);
}

TEST(WizardFrameWorker, MadeOnceByTheWizardsFactoryAndReused)
{
    frametest::testApp();
    TestWizard wizard;
    int made = 0;
    wizard.setWorkerFactory([&made] {
        ++made;
        return new QuarnThread;
    });
    QuarnThread* first = wizard.worker();
    EXPECT_EQ(wizard.worker(), first);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(wizard.WizardFrame::worker(), first);
}

}  // namespace
