// The clone wizard: its steps, the one action of each navigation button,
// and Start saying plainly that cloning is not available.
#include "../storage/parted_sanitizer_options.h"
#include "base_msg_dlg.h"
#include "clone_dlg.h"
#include "clone_widgets.h"
#include "device_prober.h"
#include "frame_console_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

struct Wizard {
    Wizard() : dlg((consoletest::consoleApp(), QString()), nullptr) { dlg.show(); }
    CloneDlg dlg;
};

void click(QPushButton* button)
{
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << qPrintable(button->objectName());
    QTest::mouseClick(button, Qt::LeftButton);
}

// What each step shows: the page, the two buttons and the arrow.
void expectStep(CloneDlg& dlg, CloneDlg::State state)
{
    const int step = static_cast<int>(state);
    QWidget* pages[] = {dlg.page1(), dlg.page2(), dlg.page3()};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pages[i]->isVisible(), i == step) << "page " << i;
        const bool orange = dlg.stepTitle(i)->styleSheet().contains(QStringLiteral("122, 56, 0"));
        EXPECT_EQ(orange, i == step) << "step label " << i;
        EXPECT_EQ(dlg.stepSubtitle(i)->styleSheet().contains(QStringLiteral("122, 56, 0")), i == step);
    }
    const int arrowY[] = {108, 198, 288};
    EXPECT_EQ(dlg.arrowLabel()->pos(), QPoint(187, arrowY[step]));
    EXPECT_EQ(dlg.previousButton()->isVisible(), step != 0);
    EXPECT_EQ(dlg.previousButton()->text(), QStringLiteral("Previous"));
    EXPECT_EQ(dlg.nextButton()->text(), step == 2 ? QStringLiteral("Start") : QStringLiteral("Next"));
    EXPECT_TRUE(dlg.nextButton()->isEnabled());
    EXPECT_TRUE(dlg.returnButton()->isVisible());
}

TEST(CloneDlgLayout, FramePagesAndButtons)
{
    Wizard w;
    CloneDlg& dlg = w.dlg;
    EXPECT_EQ(dlg.size(), QSize(800, 600));
    EXPECT_EQ(dlg.backgroundPath(), QStringLiteral(":images/Step_BG.png"));
    for (QWidget* page : {static_cast<QWidget*>(dlg.page1()), static_cast<QWidget*>(dlg.page2()),
                          static_cast<QWidget*>(dlg.page3())})
        EXPECT_EQ(page->geometry(), QRect(220, 90, 530, 400));
    EXPECT_EQ(dlg.returnButton()->geometry(), QRect(49, 498, 140, 34));
    EXPECT_EQ(dlg.previousButton()->geometry(), QRect(441, 498, 140, 34));
    EXPECT_EQ(dlg.nextButton()->geometry(), QRect(617, 498, 140, 34));
    EXPECT_EQ(dlg.returnButton()->text(), QStringLiteral("Return"));
    EXPECT_EQ(dlg.page1()->headingLabel()->text(), QStringLiteral("Select a source partition"));
    EXPECT_EQ(dlg.page2()->headingLabel()->text(), QStringLiteral("Select a destination partition"));
    EXPECT_TRUE(dlg.page1()->lineEdit()->isReadOnly());
    EXPECT_EQ(dlg.page3()->pageCheckBox()->text(), QStringLiteral("filter page file"));
    EXPECT_EQ(dlg.page3()->hibnateCheckBox()->text(), QStringLiteral("filter hibernate file"));
    EXPECT_FALSE(dlg.page3()->pageCheckBox()->isChecked());
    EXPECT_FALSE(dlg.page3()->hibnateCheckBox()->isChecked());
    expectStep(dlg, CloneDlg::Step1);
}

TEST(CloneDlgSteps, NextAndPreviousWalkTheStepsOneAtATime)
{
    Wizard w;
    CloneDlg& dlg = w.dlg;
    QSignalSpy returned(&dlg, &CloneDlg::returnMainDlg);
    click(dlg.nextButton());
    EXPECT_EQ(dlg.state(), CloneDlg::Step2);
    expectStep(dlg, CloneDlg::Step2);
    click(dlg.nextButton());
    expectStep(dlg, CloneDlg::Step3);
    // From step 3, Previous goes to step 2, and Next there goes to step 3
    // without starting anything.
    click(dlg.previousButton());
    expectStep(dlg, CloneDlg::Step2);
    click(dlg.nextButton());
    expectStep(dlg, CloneDlg::Step3);
    click(dlg.previousButton());
    click(dlg.previousButton());
    expectStep(dlg, CloneDlg::Step1);
    EXPECT_EQ(returned.count(), 0);
}

TEST(CloneDlgStart, SaysCloningIsNotAvailableAndReturnsToTheMainWindow)
{
    Wizard w;
    CloneDlg& dlg = w.dlg;
    MsgBoxAnswers answers;
    QSignalSpy returned(&dlg, &CloneDlg::returnMainDlg);
    click(dlg.nextButton());
    click(dlg.nextButton());
    click(dlg.nextButton());  // Start
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Information"));
    EXPECT_TRUE(answers.boxes[0].message.contains(QStringLiteral("not available")));
    EXPECT_TRUE(answers.boxes[0].okButton);
    EXPECT_EQ(answers.boxes[0].parent, &dlg);
    EXPECT_EQ(returned.count(), 1);
    // The wizard keeps its step; a second Start tells again, once.
    expectStep(dlg, CloneDlg::Step3);
    click(dlg.nextButton());
    EXPECT_EQ(answers.boxes.size(), 2);
    EXPECT_EQ(returned.count(), 2);
}

TEST(CloneDlgReturn, ReturnLeavesFromEveryStep)
{
    Wizard w;
    CloneDlg& dlg = w.dlg;
    QSignalSpy returned(&dlg, &CloneDlg::returnMainDlg);
    for (int step = 0; step < 3; ++step) {
        click(dlg.returnButton());
        EXPECT_EQ(returned.count(), step + 1);
        EXPECT_EQ(static_cast<int>(dlg.state()), step);
        if (step < 2)
            click(dlg.nextButton());
    }
}

TEST(CloneDlgPages, ChoosingAPartitionRowFillsTheLine)
{
    Wizard w;
    if (consoletest::demoDisksRoot().empty())
        SKIP_OR_FAIL_IN_CI("mkntfs or sfdisk missing: no demo disks");
    QSignalSpy probed(DeviceProber::instance(), &DeviceProber::probeFinished);
    DeviceProber::instance()->startProbe();
    ASSERT_TRUE(probed.wait(20000));
    QTreeView* tree = w.dlg.page1()->treeView();
    QAbstractItemModel* model = tree->model();
    ASSERT_NE(model, nullptr);
    ASSERT_GE(model->rowCount(), 1);
    const QModelIndex disk = model->index(0, 0);
    ASSERT_GE(model->rowCount(disk), 1);
    tree->setCurrentIndex(model->index(0, 0, disk));
    EXPECT_FALSE(w.dlg.page1()->lineEdit()->text().isEmpty());
    tree->setCurrentIndex(disk);
    EXPECT_TRUE(w.dlg.page1()->lineEdit()->text().isEmpty());
}

}  // namespace
