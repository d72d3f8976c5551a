#include "messagerecorder.h"

#include <QMutex>
#include <QtGlobal>

namespace {

QMutex mutex;
QtMessageHandler previousHandler = nullptr;
QStringList recorded;

void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler previous;
    {
        QMutexLocker lock(&mutex);
        recorded.append(message);
        previous = previousHandler;
    }
    if (previous)
        previous(type, context, message);
}

} // namespace

MessageRecorder::MessageRecorder()
{
    QMutexLocker lock(&mutex);
    recorded.clear();
    previousHandler = qInstallMessageHandler(record);
}

MessageRecorder::~MessageRecorder()
{
    QMutexLocker lock(&mutex);
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
    recorded.clear();
}

QStringList MessageRecorder::messages() const
{
    QMutexLocker lock(&mutex);
    return recorded;
}

int MessageRecorder::count(const QString &text) const
{
    QMutexLocker lock(&mutex);
    return int(recorded.filter(text).size());
}
