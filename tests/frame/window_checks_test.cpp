// The picture checks the screenshot programs run: a pale text and a dark
// text on a dark panel, unnamed and same-named inputs.
#include "wizard/window_checks.h"
#include "frame/frame_test_app.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QWidget* darkPanel()
{
    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("panel"));
    window->setAccessibleName(QStringLiteral("Panel"));
    window->setStyleSheet(QStringLiteral("QWidget#panel { background: rgb(31, 35, 40); }"));
    window->resize(300, 200);
    return window;
}

QLabel* labelIn(QWidget* window, const QString& text, const QString& colour, int y)
{
    auto* label = new QLabel(text, window);
    label->setStyleSheet(QStringLiteral("color: %1; font: 14pt;").arg(colour));
    label->setGeometry(10, y, 280, 30);
    return label;
}

TEST(WindowChecks, ContrastRatiosOfKnownPairs)
{
    EXPECT_NEAR(WindowChecks::contrast(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(WindowChecks::contrast(Qt::white, Qt::white), 1.0, 0.01);
    EXPECT_NEAR(WindowChecks::contrast(QColor(118, 118, 118), Qt::white), 4.54, 0.02);
}

TEST(WindowChecks, OnlyThePaleTextOnTheDarkPanelIsReported)
{
    frametest::testApp();
    std::unique_ptr<QWidget> window(darkPanel());
    labelIn(window.get(), QStringLiteral("readable"), QStringLiteral("white"), 10);
    labelIn(window.get(), QStringLiteral("black on dark"), QStringLiteral("black"), 60);
    labelIn(window.get(), QStringLiteral("grey on dark"), QStringLiteral("rgb(70, 74, 80)"), 110);
    window->show();
    const QStringList problems = WindowChecks::lowContrastTexts(window.get(), window->grab().toImage());
    ASSERT_EQ(problems.size(), 2) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems[0].contains(QStringLiteral("black on dark")));
    EXPECT_TRUE(problems[1].contains(QStringLiteral("grey on dark")));
}

TEST(WindowChecks, AColumnNarrowerThanItsTextsOrPastTheViewIsReported)
{
    frametest::testApp();
    std::unique_ptr<QWidget> window(darkPanel());
    auto* tree = new QTreeWidget(window.get());
    tree->setGeometry(0, 0, 300, 200);
    tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Capacity"), QStringLiteral("Type")});
    new QTreeWidgetItem(tree, {QStringLiteral("a rather long partition name"), QStringLiteral("64.00 MB"),
                               QStringLiteral("NTFS")});
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    window->show();
    QApplication::processEvents();
    // Sized to their contents, the three pass the view's right edge.
    QStringList problems = WindowChecks::cutColumns(window.get());
    ASSERT_FALSE(problems.isEmpty());
    EXPECT_TRUE(problems.last().contains(QStringLiteral("\"Type\""))) << problems.join('\n').toStdString();

    // The name takes what the others leave: everything shows.
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    QApplication::processEvents();
    EXPECT_EQ(WindowChecks::cutColumns(window.get()).join('\n').toStdString(), "");

    // A fixed column narrower than its name.
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->resizeSection(1, 12);
    QApplication::processEvents();
    problems = WindowChecks::cutColumns(window.get());
    ASSERT_EQ(problems.size(), 1) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems[0].contains(QStringLiteral("\"Capacity\"")));
}

TEST(WindowChecks, InputsNeedNamesOfTheirOwn)
{
    frametest::testApp();
    std::unique_ptr<QWidget> window(darkPanel());
    auto* first = new QLineEdit(window.get());
    auto* second = new QLineEdit(window.get());
    second->move(0, 40);
    auto* button = new QPushButton(QStringLiteral("Start"), window.get());
    button->move(0, 80);
    window->show();
    EXPECT_EQ(WindowChecks::unnamedControls(window.get()).size(), 2);
    first->setAccessibleName(QStringLiteral("Password"));
    second->setAccessibleName(QStringLiteral("Password"));
    const QStringList same = WindowChecks::unnamedControls(window.get());
    ASSERT_EQ(same.size(), 1);
    EXPECT_TRUE(same[0].contains(QStringLiteral("both named")));
    second->setAccessibleName(QStringLiteral("Confirm password"));
    EXPECT_TRUE(WindowChecks::unnamedControls(window.get()).isEmpty());
    window->setAccessibleName(QString());
    window->setWindowTitle(QStringLiteral("Dialog"));
    EXPECT_EQ(WindowChecks::unnamedControls(window.get()).size(), 1);
}

}  // namespace
