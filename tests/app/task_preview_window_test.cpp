// The converter's preview window: made through the installed factory, shows
// the picture at its size with the time as caption, is dragged by its picture,
// and answers "closed" once the user has closed it.
#include "app/ui/task_preview_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "tests/app/qt_test_app.h"

namespace zorvex::app {
namespace {

TEST(TaskPreviewWindow, ShowsThePictureUntilTheUserClosesIt) {
    test::TestApplication();
    InstallTaskPreviewWindows();
    const TPreviewWindowFactory factory = GetPreviewWindowFactory();
    ASSERT_TRUE(factory);
    std::unique_ptr<TPreviewSurface> surface = factory(40, 30);
    ASSERT_NE(surface, nullptr);
    auto* window = qobject_cast<TaskPreviewWindow*>(QApplication::topLevelWidgets().value(0));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->windowFlags() & Qt::Tool);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);

    TBitmap bitmap(40, 30);
    for (int y = 0; y < 30; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < 40; ++x) {
            row[x * 3] = 200;     // blue
            row[x * 3 + 1] = 10;  // green
            row[x * 3 + 2] = 50;  // red
        }
    }
    ASSERT_TRUE(surface->Paint(bitmap, "00:00:01.040"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "00:00:01.040");
    EXPECT_EQ(window->size(), QSize(40, 30));
    EXPECT_EQ(window->Picture().pixelColor(5, 5), QColor(50, 10, 200));

    // Dragged by its client area.
    const QPoint start = window->pos();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), window->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(25, 15), window->mapToGlobal(QPointF(25, 15)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(25, 15),
                        window->mapToGlobal(QPointF(25, 15)), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(window, &release);
    EXPECT_EQ(window->pos(), start + QPoint(20, 10));

    window->close();
    EXPECT_FALSE(surface->Paint(bitmap, "00:00:01.080"));
    EXPECT_EQ(window->windowTitle(), "00:00:01.040");
    surface.reset();
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    SetPreviewWindowFactory(nullptr);
}

}  // namespace
}  // namespace zorvex::app
