// The editable list driven by clicks and keys as a user would, plus the cell box and its painting.
#include "cedit_list_ctrl.h"

#include <QCursor>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Cell {
    int row;
    int column;
};

struct EditList : ::testing::Test {
    std::unique_ptr<QWidget> window; // only for the focus tests
    CEditListCtrl* list = nullptr;
    std::unique_ptr<CEditListCtrl> owned;

    void SetUp() override { fresh(); }

    void fresh(QWidget* parent = nullptr)
    {
        owned.reset();
        list = new CEditListCtrl(parent);
        if (parent == nullptr)
            owned.reset(list);
        list->resize(400, 200);
        list->setColumnCount(3);
        list->setHorizontalHeaderLabels({"Channel", "Value", "Note"});
        for (int c = 0; c < 3; ++c)
            list->setColumnWidth(c, 120);
        const char* texts[][3] = {{"ch0", "100", "a"}, {"ch1", "200", ""}, {"ch2", "300", "a rather long note text"}};
        for (int r = 0; r < 3; ++r) {
            list->insertRow(r);
            for (int c = 0; c < 3; ++c)
                list->SetItemText(r, c, QString::fromUtf8(texts[r][c]));
        }
        pointerInside(true);
    }
    void pointerInside(bool inside) const
    {
        QCursor::setPos(list->mapToGlobal(inside ? QPoint(200, 100) : QPoint(list->width() + 50, 100)));
    }
    QRect cell(int row, int column) const { return list->visualItemRect(list->item(row, column)); }
    void click(Cell at) const { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell(at.row, at.column).center()); }
    void clickOutsideItems() const
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell(2, 0).bottomLeft() + QPoint(10, 20));
    }
    QColor pixel(const QImage& image, int x, int y) const { return QColor(image.pixel(x, y)); }
    QColor colour(QPalette::ColorRole role) const { return list->palette().color(QPalette::Active, role); }
};

TEST_F(EditList, SecondClickOnTheSelectedCellOpensTheEditorOverThatCell)
{
    struct Case {
        const char* name;
        std::vector<Cell> clicks;
        bool editing;
        Cell selected;
    };
    const Case cases[] = {
        {"twice on a middle cell", {{1, 1}, {1, 1}}, true, {1, 1}},
        {"twice on the last column", {{2, 2}, {2, 2}}, true, {2, 2}},
        {"twice on the first column", {{0, 0}, {0, 0}}, true, {0, 0}},
        {"another cell in between", {{1, 1}, {2, 2}, {1, 1}}, false, {1, 1}},
        {"same row, other column", {{1, 1}, {1, 2}}, false, {1, 2}},
        {"one click", {{0, 2}}, false, {0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        for (Cell at : c.clicks)
            click(at);
        EXPECT_EQ(list->editItem, c.selected.row);
        EXPECT_EQ(list->editSubItem, c.selected.column);
        EXPECT_TRUE(list->cellSelected);
        ASSERT_EQ(list->itemEdit != nullptr, c.editing);
        if (!c.editing)
            continue;
        CItemEdit* editor = list->itemEdit;
        const QRect under = cell(c.selected.row, c.selected.column);
        EXPECT_EQ(editor->x(), under.left() + 4);
        EXPECT_EQ(editor->editLeft, under.left() + 4);
        EXPECT_EQ(editor->geometry().top(), under.top());
        EXPECT_LE(editor->geometry().bottom(), under.bottom());
        EXPECT_LE(editor->geometry().right(), under.right());
        const QString text = list->ItemText(c.selected.row, c.selected.column);
        EXPECT_EQ(editor->text(), text);
        EXPECT_EQ(editor->selectedText(), text);
    }
}

TEST_F(EditList, EndingTheEditWritesOnlyTheEditedCellAndForgetsTheCellWhenThePointerLeft)
{
    struct Case {
        const char* name;
        Qt::Key key;
        bool pointerInside;
        const char* expected;
    };
    const Case cases[] = {
        {"Enter stores", Qt::Key_Return, true, "42"},
        {"Escape keeps the old text", Qt::Key_Escape, true, "200"},
        {"Enter with the pointer outside", Qt::Key_Enter, false, "42"},
        {"Escape with the pointer outside", Qt::Key_Escape, false, "200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        click({1, 1});
        click({1, 1});
        ASSERT_NE(list->itemEdit, nullptr);
        QTest::keyClicks(list->itemEdit, "42"); // replaces the selected text
        pointerInside(c.pointerInside);
        QTest::keyClick(list->itemEdit, c.key);

        EXPECT_EQ(list->itemEdit, nullptr);
        EXPECT_EQ(list->ItemText(1, 1), QString::fromUtf8(c.expected));
        EXPECT_EQ(list->ItemText(1, 0), "ch1");
        EXPECT_EQ(list->ItemText(1, 2), "");
        EXPECT_EQ(list->ItemText(0, 1), "100");
        EXPECT_EQ(list->editItem, c.pointerInside ? 1 : -1);
        EXPECT_EQ(list->editSubItem, c.pointerInside ? 1 : -1);
        EXPECT_EQ(list->cellSelected, c.pointerInside);
        EXPECT_EQ(list->clickSeen, c.pointerInside);
    }
}

TEST_F(EditList, ClickOutsideTheItemsUnselectsTheCellButKeepsIt)
{
    click({1, 2});
    clickOutsideItems();
    EXPECT_FALSE(list->cellSelected);
    EXPECT_TRUE(list->clickSeen);
    EXPECT_EQ(list->editItem, 1);
    EXPECT_EQ(list->editSubItem, 2);

    click({1, 2}); // selects it again rather than editing it
    EXPECT_EQ(list->itemEdit, nullptr);
    EXPECT_TRUE(list->cellSelected);
}

TEST_F(EditList, HighlightBoxEndsTenPastTheTextWithinTheCell)
{
    const QRect cellRect(100, 20, 80, 24);
    struct Case {
        int textWidth;
        int endFromCellLeft; // exclusive right edge
    };
    const Case cases[] = {{0, 51}, {-1, 51}, {30, 40}, {70, 80}, {71, 80}, {500, 80}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.textWidth);
        const QRect box = CEditListCtrl::HighlightBox(cellRect, c.textWidth);
        EXPECT_EQ(box.left(), 104);
        EXPECT_EQ(box.left() + box.width() - cellRect.left(), c.endFromCellLeft);
        EXPECT_EQ(box.top(), cellRect.top());
        EXPECT_EQ(box.bottom(), cellRect.bottom());
    }
}

TEST_F(EditList, OnlyTheSelectedCellIsFilledNotItsRow)
{
    click({1, 2}); // empty text: the box still shows
    const QRect selected = cell(1, 2);
    const int y = selected.center().y();
    QImage image = list->viewport()->grab().toImage();
    EXPECT_EQ(pixel(image, selected.left() + 30, y), colour(QPalette::Highlight));
    EXPECT_EQ(pixel(image, selected.left() + 80, y), colour(QPalette::Base));
    for (int column : {0, 1})
        EXPECT_EQ(pixel(image, cell(1, column).right() - 5, y), colour(QPalette::Base)) << "column " << column;

    clickOutsideItems(); // still marked, no longer filled
    image = list->viewport()->grab().toImage();
    EXPECT_EQ(pixel(image, selected.left() + 30, y), colour(QPalette::Base));
}

TEST_F(EditList, OldTextDoesNotShowBesideANarrowEditor)
{
    click({2, 2});
    click({2, 2});
    ASSERT_NE(list->itemEdit, nullptr);
    list->itemEdit->clear();
    const QRect editor = list->itemEdit->geometry();
    const QRect under = cell(2, 2);
    ASSERT_LT(editor.right(), under.right() - 20);
    const QImage image = list->viewport()->grab().toImage();
    for (int x = editor.right() + 1; x < under.right(); ++x)
        for (int y = under.top() + 1; y < under.bottom(); ++y)
            ASSERT_EQ(pixel(image, x, y), colour(QPalette::Base)) << x << "," << y;
}

TEST_F(EditList, FocusGoingElsewhereForgetsTheCellOnlyWithThePointerOutside)
{
    struct Case {
        const char* name;
        bool pointerInside;
        bool editing;
        bool kept;
    };
    const Case cases[] = {
        {"pointer inside", true, false, true},
        {"pointer outside", false, false, false},
        {"pointer outside, from the editor", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window = std::make_unique<QWidget>();
        window->resize(400, 240);
        fresh(window.get());
        auto* other = new QLineEdit(window.get());
        other->setGeometry(0, 210, 100, 24);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

        pointerInside(c.pointerInside);
        click({1, 1});
        if (c.editing) {
            click({1, 1});
            ASSERT_NE(list->itemEdit, nullptr);
            EXPECT_EQ(QApplication::focusWidget(), list->itemEdit);
            EXPECT_EQ(list->editItem, 1) << "focus went to its own editor";
            const int left = list->itemEdit->x();
            list->itemEdit->move(0, list->itemEdit->y()); // whatever moves it, it goes back
            EXPECT_EQ(list->itemEdit->x(), left);
            QTest::keyClicks(list->itemEdit, "7");
        } else {
            EXPECT_EQ(QApplication::focusWidget(), list);
        }
        other->setFocus(Qt::MouseFocusReason);

        EXPECT_EQ(list->itemEdit, nullptr);
        EXPECT_EQ(list->ItemText(1, 1), c.editing ? "7" : "200");
        EXPECT_EQ(list->editItem, c.kept ? 1 : -1);
        EXPECT_EQ(list->cellSelected, c.kept);
        EXPECT_EQ(list->clickSeen, c.kept);
        window.reset();
    }
}

} // namespace
