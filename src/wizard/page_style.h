// The look of the wizards' pages: 530 x 400, white "wenquanyi" texts,
// 16 pt titles and 15 pt bodies.
#ifndef WIZARD_PAGE_STYLE_H
#define WIZARD_PAGE_STYLE_H

#include <QHeaderView>
#include <QLabel>
#include <QRect>
#include <QString>

namespace PageStyle {

const int kPageWidth = 530;
const int kPageHeight = 400;

inline QString titleStyle()
{
    return QStringLiteral("font: 75 16pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);");
}

inline QString bodyStyle()
{
    return QStringLiteral("font: 50 15pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);");
}

inline QString groupStyle()
{
    return QStringLiteral(
        "QGroupBox { font: 50 15pt \"wenquanyi\"; color: rgb(255, 255, 255);"
        " border: 1px solid rgba(255, 255, 255, 120); border-radius: 4px; margin-top: 14px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }");
}

// Check boxes on the dark pages. Their box is drawn here: the style's own
// draws its tick in the text colour, white on its white box, so that a
// ticked box could not be told from an empty one.
inline QString checkBoxStyle()
{
    return QStringLiteral(
        "QCheckBox { font: 50 15pt \"wenquanyi\"; color: rgb(255, 255, 255); spacing: 8px; }"
        "QCheckBox::indicator { width: 14px; height: 14px; border: 2px solid rgb(255, 255, 255);"
        " border-radius: 3px; background: rgb(32, 34, 38); }"
        "QCheckBox::indicator:checked { background: rgb(240, 130, 40); }");
}

// Line and text edits, and the trees of disks and image contents (smaller,
// so that their six columns fit the page).
inline QString editStyle()
{
    return QStringLiteral("font: 50 13pt \"wenquanyi\";");
}

inline QString treeStyle()
{
    return QStringLiteral("font: 50 11pt \"wenquanyi\";");
}

// The facts of a chosen image under its tree: white, in the tree's size.
inline QString factsStyle()
{
    return treeStyle() + QStringLiteral("\ncolor: rgb(255, 255, 255);");
}

// The partition and image trees: every column fits its contents and its
// header, but the partition's name (column 1) takes what the others leave,
// so that no column hides behind a scroll bar.
// The header may have no sections yet, and a model reset makes them anew:
// the name's mode is set again whenever they come.
inline void fitPartitionColumns(QHeaderView* header)
{
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    const auto stretchName = [header](int, int count) {
        if (count > 1)
            header->setSectionResizeMode(1, QHeaderView::Stretch);
    };
    QObject::connect(header, &QHeaderView::sectionCountChanged, header, stretchName);
    stretchName(0, header->count());
}

// The wizards' column of steps: the current step in dark orange (readable on the light column), the others in
// dark grey; the arrow points from the column at the current step. And the
// wizards' row of buttons.
const int kStepArrowX = 187;
const int kStepArrowY[3] = {108, 198, 288};

inline QString stepTitleStyle(bool current)
{
    return current ? QStringLiteral("font: 90 18pt \"l047013t\";\ncolor: rgb(122, 56, 0);")
                   : QStringLiteral("font: 90 18pt \"l047013t\";\ncolor: rgb(66, 66, 66);");
}

// The current step's caption is small: drawn with smoothed edges its pixels
// come out lighter than its colour, so the colour is dark enough to keep a
// margin above 4.5:1 on what is drawn.
inline QString stepSubtitleStyle(bool current)
{
    return current ? QStringLiteral("font: 75 10pt \"l047013t\";\ncolor: rgb(122, 56, 0);")
                   : QStringLiteral("font: 75 10pt \"l047013t\";\ncolor: rgb(66, 66, 66);");
}

inline QString wizardButtonStyle()
{
    return QStringLiteral("font: 10pt \"l047013t\";\ncolor: rgb(255, 255, 255);");
}

inline QLabel* newTitle(QWidget* page, const QString& text)
{
    QLabel* label = new QLabel(text, page);
    label->setGeometry(10, 5, kPageWidth - 20, 30);
    label->setStyleSheet(titleStyle());
    return label;
}

inline QLabel* newText(QWidget* parent, const QString& text, const QRect& place)
{
    QLabel* label = new QLabel(text, parent);
    label->setGeometry(place);
    label->setStyleSheet(bodyStyle());
    return label;
}

}  // namespace PageStyle

#endif
