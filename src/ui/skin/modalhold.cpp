#include "ui/skin/modalhold.h"

#include <utility>

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {

// Runs the release once, when the watched window is hidden. A window destroyed while shown
// takes the release with it: the program is ending.
class ReleaseWhenClosed : public QObject {
public:
    ReleaseWhenClosed(QWidget *window, std::function<void()> release)
        : QObject(window), m_release(std::move(release)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Hide) {
            run();
            deleteLater();
        }
        return false;
    }

private:
    void run() {
        if (auto release = std::exchange(m_release, {}))
            release();
    }

    std::function<void()> m_release;
};

}  // namespace

void clickThenRelease(const std::function<void()> &click, std::function<void()> release) {
    QWidget *before = QApplication::activeModalWidget();
    click();
    QWidget *after = QApplication::activeModalWidget();
    if (after && after != before && after->isVisible())
        new ReleaseWhenClosed(after, std::move(release));
    else
        release();
}
