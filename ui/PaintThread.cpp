#include "ui/PaintThread.h"

#include <QSemaphore>
#include <QThreadPool>

namespace corvane {

void keepOnePaintThread() {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    pool->setMaxThreadCount(1);
    // The thread makes its dispatcher's descriptor as it starts: once the
    // first task has run, it holds it.
    QSemaphore started;
    pool->start([&started] { started.release(); });
    started.acquire();
}

}  // namespace corvane
