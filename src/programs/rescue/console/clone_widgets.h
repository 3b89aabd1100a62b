// The clone wizard's three pages: the source partition, the destination
// partition and the two options. The source page lists the partitions the
// wizards back up, the destination page every partition; the ones a
// page's rule refuses stay in its list, greyed and not selectable, and say
// why when they are pointed at.
#ifndef RESCUE_CONSOLE_CLONE_WIDGETS_H
#define RESCUE_CONSOLE_CLONE_WIDGETS_H

#include "jobs/clone_plan.h"

#include <QHash>
#include <QIdentityProxyModel>
#include <QWidget>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTreeView;
class TreeItem;
class TreeModel;

// One partition of the list with what the plan needs to judge it.
struct ClonePartition {
    ClonePlan::Partition plan;
    char letter = 0;
    QString label;
};

// The partition tree under a rule: the rows the rule refuses are greyed,
// cannot be selected and carry their reason as a tool tip.
class ClonePartitionModel : public QIdentityProxyModel {
    Q_OBJECT

public:
    using Rule = std::function<ClonePlan::Verdict(const ClonePlan::Partition&)>;

    ClonePartitionModel(TreeModel* source, Rule rule, QObject* parent);

    // The partition of a row; false for a disk row (or none).
    bool partitionAt(const QModelIndex& index, ClonePartition* partition) const;
    ClonePlan::Verdict verdictAt(const QModelIndex& index) const;
    // The rule's answers changed (another source was chosen): the rows
    // are drawn again.
    void rulesChanged();

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void rowsChanged(const QModelIndex& parent);

    Rule m_rule;
    // What the prober knew of each listed partition at its last probe.
    mutable QHash<QString, ClonePartition> m_partitions;
};

// A heading, the partition tree, the reason a pointed-at row cannot be
// chosen, and a read-only line with the chosen partition's name.
class ClonePartitionPage : public QWidget {
    Q_OBJECT

public:
    // `everyPartition`: also the partitions without a file system the
    // wizards back up.
    ClonePartitionPage(const QString& heading, const QString& rowLabel, ClonePartitionModel::Rule rule,
                       bool everyPartition, QWidget* parent);
    ~ClonePartitionPage() override;

    QLabel* headingLabel() const { return m_heading; }
    QTreeView* treeView() const { return m_tree; }
    QLineEdit* lineEdit() const { return m_line; }
    QLabel* reasonLabel() const { return m_reason; }
    TreeModel* treeModel() const { return m_model; }
    ClonePartitionModel* model() const { return m_proxy; }

    // The chosen partition; its path is empty while none is chosen.
    const ClonePartition& chosen() const { return m_chosen; }
    // Judges the choice again under the rule (after a probe, or when the
    // rule's answers changed): a partition gone or refused now is no longer
    // chosen.
    void checkChoice();

signals:
    void chosenChanged();

private:
    void showCurrent();
    void choose(const ClonePartition& partition, const QString& name);

    QLabel* m_heading;
    QTreeView* m_tree;
    QLabel* m_reason;
    QLineEdit* m_line;
    TreeModel* m_model;
    ClonePartitionModel* m_proxy;
    ClonePartition m_chosen;
};

class CloneWidget1 : public ClonePartitionPage {
    Q_OBJECT

public:
    explicit CloneWidget1(QWidget* parent = nullptr);
};

// Its rule judges each partition against the source that page 1 chose.
class CloneWidget2 : public ClonePartitionPage {
    Q_OBJECT

public:
    CloneWidget2(const CloneWidget1* source, QWidget* parent = nullptr);
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
