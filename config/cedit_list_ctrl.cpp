// The editable list: cell selection by clicks, the in-place editor and the cell highlight.
#include "cedit_list_ctrl.h"

#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <utility>

namespace {
constexpr int TEXT_INDENT = 6;    // text starts this far into the cell
constexpr int BOX_INDENT = 4;     // the highlight box and the editor start here
constexpr int BOX_SLACK = 10;     // the box ends this far past the text width (from the cell's left)
constexpr int EMPTY_WIDTH = 41;   // width an empty text counts for the box
constexpr int EDITOR_MARGINS = 4; // the line edit's own text margins, both sides

// Draws every cell itself: the view's row selection must not paint over the selected cell's box.
class CellDelegate final : public QStyledItemDelegate {
public:
    explicit CellDelegate(CEditListCtrl* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        const QString text = opt.text;
        opt.text.clear();
        const QRect cell = opt.rect;
        const bool enabled = (opt.state & QStyle::State_Enabled) != 0;
        // The cell highlight keeps its colour when the window goes to the background.
        const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
        // The view has already filled the whole row with its selection colour.
        const bool alternate = (opt.features & QStyleOptionViewItem::Alternate) != 0;
        painter->fillRect(cell, opt.palette.brush(group, alternate ? QPalette::AlternateBase : QPalette::Base));
        const QWidget* widget = opt.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget); // the item's own brush
        QColor textColor = opt.palette.color(group, QPalette::Text);
        const bool marked =
            list_->clickSeen && index.row() == list_->editItem && index.column() == list_->editSubItem;
        QRect box;
        if (marked) {
            box = CEditListCtrl::HighlightBox(cell, text.isEmpty() ? 0 : opt.fontMetrics.horizontalAdvance(text));
            if (list_->cellSelected) {
                painter->fillRect(box, opt.palette.brush(group, QPalette::Highlight));
                textColor = opt.palette.color(group, QPalette::HighlightedText);
            }
        }

        const QRect textRect = cell.adjusted(TEXT_INDENT, 0, 0, 0);
        QString line = text;
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(textColor);
        painter->setClipRect(cell);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          opt.fontMetrics.elidedText(line, Qt::ElideRight, textRect.width()));
        painter->restore();

        // A dotted outline of our own: some styles tint the inside of their focus frame, which would
        // blur the fill.
        if (marked && !box.isEmpty()) {
            painter->save();
            painter->setPen(QPen(textColor, 1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(box.adjusted(0, 0, -1, -1));
            painter->restore();
        }

        // Beside a narrow editor the old text would still show.
        const CItemEdit* editor = list_->itemEdit;
        if (editor != nullptr && !editor->isHidden() && editor->geometry().intersects(cell)) {
            const QRect beside(QPoint(editor->geometry().right() + 1, cell.top()), cell.bottomRight());
            if (beside.isValid()) {
                const QWidget* viewport = list_->viewport();
                painter->fillRect(beside, viewport->palette().brush(viewport->backgroundRole()));
            }
        }
    }

private:
    CEditListCtrl* list_;
};
} // namespace

void CItemEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit finished(true);
        return;
    case Qt::Key_Escape:
        emit finished(false);
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void CItemEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // The editor's own context menu takes the focus only for a moment.
    if (event->reason() != Qt::PopupFocusReason)
        emit finished(true);
}

void CItemEdit::moveEvent(QMoveEvent* event)
{
    QLineEdit::moveEvent(event);
    if (x() != editLeft)
        move(editLeft, y());
}

CEditListCtrl::CEditListCtrl(QWidget* parent) : QTableWidget(parent)
{
    setItemDelegate(new CellDelegate(this));
    // Our own editor opens on the selected cell; the view's would only ever edit where it likes.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setShowGrid(true);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setHighlightSections(false);
}

CEditListCtrl::~CEditListCtrl()
{
    // Gone before the list is half destroyed, so that losing the focus cannot call back into it.
    delete std::exchange(itemEdit, nullptr);
}

void CEditListCtrl::SetItemText(int row, int column, const QString& text)
{
    if (QTableWidgetItem* cell = item(row, column))
        cell->setText(text);
    else
        setItem(row, column, new QTableWidgetItem(text));
}

QString CEditListCtrl::ItemText(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell != nullptr ? cell->text() : QString();
}

QRect CEditListCtrl::HighlightBox(const QRect& cell, int textWidth)
{
    const int width = textWidth > 0 ? textWidth : EMPTY_WIDTH;
    const int end = std::min(cell.left() + width + BOX_SLACK, cell.left() + cell.width());
    return QRect(cell.left() + BOX_INDENT, cell.top(), end - (cell.left() + BOX_INDENT), cell.height());
}

void CEditListCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QTableWidget::mousePressEvent(event);
        return;
    }
    clickSeen = true;
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (hit.isValid()) {
        QTableWidget::mousePressEvent(event);
        if (cellSelected && hit.row() == editItem && hit.column() == editSubItem) {
            BeginEdit();
            return;
        }
        editItem = hit.row();
        editSubItem = hit.column();
        cellSelected = true;
    } else {
        if (itemEdit == nullptr)
            cellSelected = false;
        QTableWidget::mousePressEvent(event);
    }
    viewport()->update();
}

void CEditListCtrl::BeginEdit()
{
    if (itemEdit != nullptr)
        EndEdit(true);
    if (editSubItem < 0)
        return;
    const QModelIndex index = model()->index(editItem, editSubItem);
    if (!index.isValid())
        return;
    auto* editor = new CItemEdit(viewport());
    editor->editLeft = visualRect(index).left() + BOX_INDENT;
    editor->setText(ItemText(index.row(), index.column()));
    editorRow_ = index.row();
    editorColumn_ = index.column();
    itemEdit = editor;
    FitEditor();
    connect(editor, &CItemEdit::finished, this, [this, editor](bool keepText) {
        if (itemEdit == editor)
            EndEdit(keepText);
    });
    connect(editor, &QLineEdit::textChanged, this, [this] { FitEditor(); });
    editor->show();
    editor->selectAll();
    editor->setFocus(Qt::OtherFocusReason);
}

void CEditListCtrl::EndEdit(bool keepText)
{
    CItemEdit* editor = std::exchange(itemEdit, nullptr);
    if (editor == nullptr)
        return;
    if (keepText && editorRow_ < rowCount() && editorColumn_ < columnCount())
        SetItemText(editorRow_, editorColumn_, editor->text());
    // Enter or Escape hand the focus back; a focus that went elsewhere stays there.
    if (editor->hasFocus())
        setFocus(Qt::OtherFocusReason);
    editor->hide();
    editor->deleteLater();
    if (!PointerInside())
        ResetSelection();
    viewport()->update();
}

void CEditListCtrl::focusOutEvent(QFocusEvent* event)
{
    QTableWidget::focusOutEvent(event);
    QWidget* now = QApplication::focusWidget();
    if (now == nullptr || (itemEdit != nullptr && now == itemEdit) || PointerInside())
        return;
    ResetSelection();
    viewport()->update();
}

bool CEditListCtrl::PointerInside() const
{
    return rect().contains(mapFromGlobal(QCursor::pos()));
}

void CEditListCtrl::ResetSelection()
{
    editItem = -1;
    editSubItem = -1;
    clickSeen = false;
    cellSelected = false;
}

// The editor grows with its text, like a label editor, up to the end of the cell.
void CEditListCtrl::FitEditor()
{
    if (itemEdit == nullptr)
        return;
    const QRect cell = visualRect(model()->index(editorRow_, editorColumn_));
    const QFontMetrics metrics = itemEdit->fontMetrics();
    const int frame = itemEdit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, itemEdit);
    const int wanted =
        metrics.horizontalAdvance(itemEdit->text()) + metrics.averageCharWidth() + 2 * frame + EDITOR_MARGINS;
    const int room = cell.left() + cell.width() - itemEdit->editLeft;
    itemEdit->setGeometry(itemEdit->editLeft, cell.top(), std::max(1, std::min(wanted, room)), cell.height());
    viewport()->update(cell);
}
