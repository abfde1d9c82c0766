#include "dialog_fit.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStyleOptionGroupBox>

#include <algorithm>

namespace {
constexpr int TITLE_PADDING = 2; // pixels of broken line either side of the title

class TitleOnFrameStyle final : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override
    {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || box == nullptr || box->text.isEmpty() || (box->subControls & SC_GroupBoxCheckBox))
            return QProxyStyle::subControlRect(control, option, sub, widget);
        const QFontMetrics& metrics = box->fontMetrics;
        const int line = metrics.height();
        const QString text = QString(box->text).remove(QLatin1Char('&'));
        // A glyph from a fallback face can rise above the line of the box's own font.
        const int rise = std::max(0, -(metrics.ascent() + metrics.tightBoundingRect(text).top()));
        const QRect r = option->rect.adjusted(0, rise, 0, 0);
        switch (sub) {
        case SC_GroupBoxFrame:
            return r.adjusted(0, line / 2, 0, 0);
        case SC_GroupBoxLabel: {
            // Not clipped to the frame: a title too long for its box must show up as one.
            const int width = metrics.horizontalAdvance(text);
            return QRect(r.left() + metrics.averageCharWidth(), r.top(), width + 2 * TITLE_PADDING, line);
        }
        case SC_GroupBoxContents: {
            const int margin = proxy()->pixelMetric(PM_DefaultFrameWidth, option, widget) + 2;
            return r.adjusted(margin, line, -margin, -margin);
        }
        default:
            return QProxyStyle::subControlRect(control, option, sub, widget);
        }
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
    {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || box == nullptr || box->text.isEmpty() || (box->subControls & SC_GroupBoxCheckBox)) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QRect title = subControlRect(control, option, SC_GroupBoxLabel, widget);
        const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget);
        painter->save();
        // Drawn here: base styles' group frames place themselves below the title. The top line
        // stops at the title.
        const QRect gap(title.left(), frame.top() - 2, title.width(), 5);
        painter->setClipRegion(QRegion(option->rect) - gap);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(box->palette.window().color().darker(140));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        painter->restore();
        proxy()->drawItemText(painter, title, Qt::AlignCenter | Qt::TextShowMnemonic, box->palette,
                              (box->state & State_Enabled) != 0, box->text, QPalette::WindowText);
    }
};
} // namespace

QGroupBox* TitleOnFrame(QGroupBox* box)
{
    static QPointer<TitleOnFrameStyle> style;
    if (style.isNull()) {
        style = new TitleOnFrameStyle;
        style->setParent(QCoreApplication::instance());
    }
    box->setStyle(style);
    return box;
}

void FitTextLines(QWidget* dialog)
{
    for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const auto* label = qobject_cast<QLabel*>(w);
        if (label != nullptr ? label->text().isEmpty() || label->wordWrap()
                             : qobject_cast<QCheckBox*>(w) == nullptr && qobject_cast<QRadioButton*>(w) == nullptr)
            continue;
        const int grow = w->fontMetrics().height() - w->height();
        if (grow > 0)
            w->setGeometry(w->geometry().adjusted(0, -grow / 2, 0, grow - grow / 2));
    }
}
