#pragma once
// A report-style list whose every cell is edited in place. A click selects one cell of the row; a
// second click on that same cell opens an editor over it. The cell, not the row, carries the
// highlight, so the user sees which column an edit will change.
#include <QLineEdit>
#include <QTableWidget>

// The in-place editor. It stays at editLeft whatever moves it: the view scrolls its viewport's
// children along with the cells, and the editor belongs to the cell's text, not to the scroll.
class CItemEdit final : public QLineEdit {
    Q_OBJECT

public:
    explicit CItemEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

    int editLeft = 0; // x in the list's viewport

signals:
    // Enter or the focus leaving: keep the text (true); Escape: drop it (false).
    void finished(bool keepText);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
};

class CEditListCtrl : public QTableWidget {
    Q_OBJECT

public:
    explicit CEditListCtrl(QWidget* parent = nullptr);
    ~CEditListCtrl() override;

    void SetItemText(int row, int column, const QString& text);
    QString ItemText(int row, int column) const;

    // Opens the editor over the selected cell (editItem, editSubItem), its text selected.
    void BeginEdit();
    // Closes the editor, writing its text into the cell when keepText; then forgets the selected
    // cell if the pointer has left the list.
    void EndEdit(bool keepText);

    // The box drawn around the selected cell's text: from 4 px into the cell to textWidth + 10 px
    // past its left edge (right edge exclusive), never past the cell. An empty text (textWidth of
    // 0 or less) counts 41 px wide so that an empty cell still shows where it is.
    static QRect HighlightBox(const QRect& cell, int textWidth);

    int editSubItem = -1; // column of the selected cell
    int editItem = -1;    // row of the selected cell
    bool cellSelected = false;
    bool clickSeen = false;
    CItemEdit* itemEdit = nullptr; // open editor, else nullptr

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool PointerInside() const;
    void ResetSelection();
    void FitEditor();

    // The cell under the open editor; the selection may move before the edit ends.
    int editorRow_ = -1;
    int editorColumn_ = -1;
};
