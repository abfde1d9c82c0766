// The menu item "创建视频窗口" opens and closes the camera window, and its check mark follows the
// window however it was closed. The test machine has no camera: the window says so.
#include "cdialog_cap_view.h"
#include "command_ids.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>

namespace {

struct WindowCamera : WindowFixture {
    bool checked()
    {
        QAction* item = dlg->ActionOf(ID_VIDEO_WINDOW);
        dlg->OnInitMenuPopup(qobject_cast<QMenu*>(item->parent()));
        return item->isChecked();
    }
};

TEST_F(WindowCamera, TheMenuTogglesAFreshWindowAndTheCloseBoxClearsTheMark)
{
    open();
    EXPECT_FALSE(checked());

    dlg->OnCommand(ID_VIDEO_WINDOW);
    ASSERT_NE(dlg->captureView, nullptr);
    QPointer<CDialogCapView> first = dlg->captureView;
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(checked());
    EXPECT_TRUE(first->noCamera->isVisible());
    EXPECT_EQ(first->noCamera->text(), QString::fromUtf8("未找到摄像头"));
    EXPECT_FALSE(first->Control(CDialogCapView::IDC_INIT)->isEnabled());
    EXPECT_FALSE(first->Control(CDialogCapView::IDC_GRAB)->isEnabled());

    dlg->OnCommand(ID_VIDEO_WINDOW); // closes it and lets the camera go
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(dlg->captureView, nullptr);
    EXPECT_FALSE(checked());

    dlg->OnCommand(ID_VIDEO_WINDOW);
    QPointer<CDialogCapView> second = dlg->captureView;
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(checked());

    second->close(); // its own close box
    EXPECT_FALSE(second->isVisible());
    EXPECT_FALSE(checked());
    EXPECT_TRUE(waitUntil([&] { return second.isNull(); })) << "the closed window is let go";

    dlg->OnCommand(ID_VIDEO_WINDOW); // the next choice opens it again
    ASSERT_NE(dlg->captureView, nullptr);
    EXPECT_TRUE(dlg->captureView->isVisible());
    EXPECT_TRUE(checked());
}

} // namespace
