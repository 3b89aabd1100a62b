// Checks of a rendered window that a look at its picture would otherwise be
// needed for: texts too pale against what is drawn behind them, and inputs,
// buttons and windows that assistive tools could not name. The screenshot
// programs and the window tests run them on every window they show.
#ifndef WIZARD_WINDOW_CHECKS_H
#define WIZARD_WINDOW_CHECKS_H

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

class QWidget;

namespace WindowChecks {

// The lowest contrast a text may have against its background.
constexpr double kMinimumContrast = 4.5;

// The contrast ratio of two colours, 1 (equal) to 21 (black on white).
double contrast(const QColor& a, const QColor& b);

// One line per visible, enabled text of `window` (labels, buttons, inputs,
// combo boxes, group titles) drawn with less than `minimum` contrast
// against its background in `shot`, the window as drawn (its grab()). The
// background is the colour most pixels of a thin ring just inside the
// text's rectangle have; the text's colour is the drawn pixel inside that
// stands out most from it, the core of the strokes. A text that is not
// drawn at all (clipped away, covered) counts as contrast 1.
QStringList lowContrastTexts(QWidget* window, const QImage& shot, double minimum = kMinimumContrast);

// One line per window, button or input of `window` (itself included) that
// has no useful accessible name: empty, a class's default ("Dialog",
// "Form"), or the same as another input's of the same window.
QStringList unnamedControls(QWidget* window);

// The room a column's header leaves beside its name, so that the names of
// neighbouring columns do not run together.
constexpr int kColumnNameGap = 10;

// One line per column of a shown tree or table of `window` that does not
// show all of itself: narrower than its header's name and the gap beside
// it, or than its widest visible text (a column that stretches into the
// room the others leave may elide), or lying past the right edge of the
// view, behind or beyond its scroll bar.
QStringList cutColumns(QWidget* window);

}  // namespace WindowChecks

#endif
