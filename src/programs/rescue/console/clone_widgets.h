// The clone wizard's three pages: the source partition, the destination
// partition and the two options.
#ifndef RESCUE_CONSOLE_CLONE_WIDGETS_H
#define RESCUE_CONSOLE_CLONE_WIDGETS_H

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTreeView;

// A heading, the partition tree and a read-only line with the chosen
// partition (the selected row's name).
class ClonePartitionPage : public QWidget {
    Q_OBJECT

public:
    ClonePartitionPage(const QString& heading, const QString& rowLabel, QWidget* parent);

    QLabel* headingLabel() const { return m_heading; }
    QTreeView* treeView() const { return m_tree; }
    QLineEdit* lineEdit() const { return m_line; }

private:
    void showChosen();

    QLabel* m_heading;
    QTreeView* m_tree;
    QLineEdit* m_line;
};

class CloneWidget1 : public ClonePartitionPage {
    Q_OBJECT

public:
    explicit CloneWidget1(QWidget* parent = nullptr);
};

class CloneWidget2 : public ClonePartitionPage {
    Q_OBJECT

public:
    explicit CloneWidget2(QWidget* parent = nullptr);
};

class CloneWidget3 : public QWidget {
    Q_OBJECT

public:
    explicit CloneWidget3(QWidget* parent = nullptr);

    QGroupBox* optionBox() const { return m_box; }
    QCheckBox* pageCheckBox() const { return m_page; }
    QCheckBox* hibnateCheckBox() const { return m_hibernate; }

private:
    QGroupBox* m_box;
    QCheckBox* m_page;
    QCheckBox* m_hibernate;
};

#endif
