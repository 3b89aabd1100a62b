// Drives the clone wizard the way a user does: points at rows of its
// partition trees with the mouse and presses its buttons.
#ifndef TESTS_CONSOLE_CLONE_WIZARD_DRIVER_H
#define TESTS_CONSOLE_CLONE_WIZARD_DRIVER_H

#include "programs/rescue/console/clone_dlg.h"
#include "programs/rescue/console/clone_widgets.h"
#include "console/tree_rows.h"
#include "wizard/tree_item.h"

#include <QAbstractItemModel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace clonetest {

using consoletest::rowOf;

// Clicks the row of `path` in the page's tree; false when it is not listed.
inline bool clickRow(ClonePartitionPage& page, const QString& path)
{
    QTreeView* view = page.treeView();
    const QModelIndex index = rowOf(*view->model(), path);
    if (!index.isValid())
        return false;
    view->scrollTo(index);
    const QRect place = view->visualRect(index);
    if (!place.isValid())
        return false;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, place.center());
    return true;
}

inline void click(QPushButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

// Presses Start and waits until the wizard is back at the main window;
// false when no job started or it did not end in time.
inline bool startAndWait(CloneDlg& wizard, int timeoutMs = 240000)
{
    QSignalSpy back(&wizard, &CloneDlg::returnMainDlg);
    click(wizard.nextButton());
    if (!wizard.jobActive() && back.count() == 0)
        return false;
    return back.count() > 0 || back.wait(timeoutMs);
}

}  // namespace clonetest

#endif
