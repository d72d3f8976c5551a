#pragma once

#include <QString>
#include <QStringList>

// Records every message of the debug channel while it lives and passes each
// on to the handler it replaced. Messages from any thread are kept.
class MessageRecorder
{
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    QStringList messages() const;
    // How many messages contain the text.
    int count(const QString &text) const;
};
