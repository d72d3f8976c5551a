#pragma once

#include <QList>
#include <QProcess>
#include <QSize>
#include <QString>

#include "playertrack.h"

// The store emulator in a process of its own, as a remote store is: its
// memory, threads and allocations are never counted as the host's. The
// bench starts itself again with --store; the child serves on 127.0.0.1,
// points the home's store client settings at itself and answers one command
// per line on its standard input. It leaves when its input closes.
class StoreProcess
{
public:
    static const char Option[];

    StoreProcess() = default;
    ~StoreProcess();

    // Starts the child and waits until it serves.
    bool start(const QString &program);
    QString errorString() const { return m_error; }

    // As DemoStore::sampleTracks, read from the child's catalog.
    QList<PlayerTrack> sampleTracks(int count);
    // Every picture served from now on is a real JPEG of this size.
    void serveHugePictures(const QSize &size);
    // Back to the catalog's pictures; the pictures served since
    // serveHugePictures().
    int servePlainPictures();
    // Milliseconds of CLOCK_MONOTONIC (see monotonicMs()) between from and to
    // that the child spent handling events: the store's own time, which a
    // real store spends on another machine.
    double busyMs(double from, double to);
    void forgetBusy();

    static double monotonicMs();

    // The child's side: serves until its standard input closes.
    static int serve(int argc, char *argv[]);

private:
    QStringList ask(const QString &command, bool untilEnd = false);

    QProcess m_child;
    QString m_error;
};
