#include "wizard/window_checks.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>

#include <cmath>

namespace WindowChecks {

namespace {

double channel(double value)
{
    value /= 255.0;
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color)
{
    return 0.2126 * channel(color.red()) + 0.7152 * channel(color.green()) + 0.0722 * channel(color.blue());
}

// The colour most pixels of the ring just inside `area` have (colours a few
// steps apart count as one, so that a gradient's neighbours agree).
QColor ringColour(const QImage& shot, QRect area)
{
    area = area.intersected(shot.rect());
    if (area.width() < 3 || area.height() < 3)
        return QColor();
    QHash<QRgb, int> counts;
    QHash<QRgb, QRgb> sample;
    auto add = [&](int x, int y) {
        const QRgb pixel = shot.pixel(x, y);
        const QRgb key = qRgb(qRed(pixel) & 0xf8, qGreen(pixel) & 0xf8, qBlue(pixel) & 0xf8);
        ++counts[key];
        sample.insert(key, pixel);
    };
    for (int x = area.left(); x <= area.right(); ++x) {
        add(x, area.top());
        add(x, area.bottom());
    }
    for (int y = area.top() + 1; y < area.bottom(); ++y) {
        add(area.left(), y);
        add(area.right(), y);
    }
    QRgb best = 0;
    int bestCount = -1;
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it) {
        if (it.value() > bestCount) {
            bestCount = it.value();
            best = it.key();
        }
    }
    return QColor(sample.value(best));
}

// The drawn pixel of `area` that stands out most from `background`: the
// core of the text's strokes.
QColor inkColour(const QImage& shot, QRect area, const QColor& background)
{
    area = area.intersected(shot.rect());
    QColor best = background;
    double bestContrast = 1.0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel(shot.pixel(x, y));
            const double ratio = contrast(pixel, background);
            if (ratio > bestContrast) {
                bestContrast = ratio;
                best = pixel;
            }
        }
    }
    return best;
}

struct ShownText {
    QString text;
    QRect area;  // in the widget
};

// The text a widget shows and the part of it the text sits in; no text for
// widgets that show none (pictures, empty fields).
ShownText shownText(QWidget* widget)
{
    const int inset = 3;
    const QRect inner = widget->rect().adjusted(inset, inset, -inset, -inset);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (!label->pixmap(Qt::ReturnByValue).isNull())
            return {};
        return {label->text(), label->contentsRect()};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return {button->text(), inner};
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return {edit->echoMode() == QLineEdit::Normal ? edit->text() : QString(), inner};
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return {combo->currentText(), inner};
    if (auto* edit = qobject_cast<QTextEdit*>(widget))
        return {edit->toPlainText(), edit->viewport()->geometry().adjusted(2, 2, -2, -2)};
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        const int height = box->fontMetrics().height();
        return {box->title(), QRect(inset, 0, box->width() - 2 * inset, height + 2)};
    }
    return {};
}

bool isControl(QWidget* widget)
{
    // A tree's header and a combo box's own line are parts of their owner.
    if (qobject_cast<QHeaderView*>(widget) || qobject_cast<QComboBox*>(widget->parentWidget()) ||
        qobject_cast<QAbstractSpinBox*>(widget->parentWidget()))
        return false;
    return qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
           qobject_cast<QComboBox*>(widget) || qobject_cast<QTextEdit*>(widget) ||
           qobject_cast<QAbstractSpinBox*>(widget) || qobject_cast<QAbstractItemView*>(widget);
}

bool isInput(QWidget* widget)
{
    return qobject_cast<QLineEdit*>(widget) || qobject_cast<QTextEdit*>(widget) ||
           qobject_cast<QComboBox*>(widget) || qobject_cast<QAbstractSpinBox*>(widget);
}

QString describe(QWidget* widget)
{
    QString what = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty())
        what += QLatin1Char(' ') + widget->objectName();
    return what;
}

QList<QWidget*> shownWidgets(QWidget* window)
{
    QList<QWidget*> widgets{window};
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->isVisibleTo(window) && !child->isWindow())
            widgets << child;
    }
    return widgets;
}

}  // namespace

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QStringList lowContrastTexts(QWidget* window, const QImage& shot, double minimum)
{
    QStringList problems;
    const qreal scale = window->width() > 0 ? qreal(shot.width()) / window->width() : 1.0;
    for (QWidget* widget : shownWidgets(window)) {
        if (widget == window || !widget->isEnabled())
            continue;
        widget->ensurePolished();
        const ShownText shown = shownText(widget);
        if (shown.text.trimmed().isEmpty())
            continue;
        const QRect inWindow(widget->mapTo(window, shown.area.topLeft()), shown.area.size());
        const QRect inShot(QPoint(qRound(inWindow.x() * scale), qRound(inWindow.y() * scale)),
                           QSize(qRound(inWindow.width() * scale), qRound(inWindow.height() * scale)));
        const QColor background = ringColour(shot, inShot);
        if (!background.isValid())
            continue;
        const QColor text = inkColour(shot, inShot, background);
        const double ratio = contrast(text, background);
        if (ratio < minimum) {
            problems << QStringLiteral("%1 \"%2\": %3 on %4, contrast %5")
                            .arg(describe(widget), shown.text.left(40), text.name(), background.name())
                            .arg(ratio, 0, 'f', 2);
        }
    }
    return problems;
}

QStringList cutColumns(QWidget* window)
{
    QStringList problems;
    for (QWidget* widget : shownWidgets(window)) {
        auto* view = qobject_cast<QAbstractItemView*>(widget);
        QHeaderView* header = view ? view->findChild<QHeaderView*>() : nullptr;
        if (!view || !view->model() || !header || header->orientation() != Qt::Horizontal ||
            !header->isVisible())
            continue;
        const QFontMetrics metrics(header->font());
        const int viewWidth = view->viewport()->width();
        for (int column = 0; column < header->count(); ++column) {
            if (header->isSectionHidden(column))
                continue;
            const QString name = view->model()->headerData(column, Qt::Horizontal).toString().trimmed();
            const int size = header->sectionSize(column);
            const int right = header->sectionViewportPosition(column) + size;
            if (right > viewWidth + 1) {
                problems << QStringLiteral("%1 column %2 \"%3\": ends at %4, past the view's %5")
                                .arg(describe(view))
                                .arg(column)
                                .arg(name)
                                .arg(right)
                                .arg(viewWidth);
                continue;
            }
            if (header->sectionResizeMode(column) == QHeaderView::Stretch)
                continue;
            const int needed =
                qMax(metrics.horizontalAdvance(name) + kColumnNameGap, view->sizeHintForColumn(column));
            if (size < needed) {
                problems << QStringLiteral("%1 column %2 \"%3\": %4 wide, its texts need %5")
                                .arg(describe(view))
                                .arg(column)
                                .arg(name)
                                .arg(size)
                                .arg(needed);
            }
        }
    }
    return problems;
}

QStringList unnamedControls(QWidget* window)
{
    static const QStringList defaults{QStringLiteral("Dialog"), QStringLiteral("Form"),
                                      QStringLiteral("Widget"), QStringLiteral("MainWindow")};
    QStringList problems;
    QHash<QString, QWidget*> inputNames;
    for (QWidget* widget : shownWidgets(window)) {
        if (widget != window && !isControl(widget))
            continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        const QString name = (face ? face->text(QAccessible::Name) : QString()).trimmed();
        if (name.isEmpty() || defaults.contains(name)) {
            problems << QStringLiteral("%1: no accessible name").arg(describe(widget));
            continue;
        }
        if (!isInput(widget))
            continue;
        if (QWidget* other = inputNames.value(name)) {
            problems << QStringLiteral("%1 and %2: both named \"%3\"")
                            .arg(describe(other), describe(widget), name);
            continue;
        }
        inputNames.insert(name, widget);
    }
    return problems;
}

}  // namespace WindowChecks
