#pragma once

#include <QObject>

class ApplicationActionMediator;

// Root of every extension that the music player loads: besides its views,
// an extension is handed the player's action mediator, through which the
// player publishes what its views show.
class AbstractExtensionInterface : public QObject
{
    Q_OBJECT

public:
    explicit AbstractExtensionInterface(QObject *parent = nullptr);
    ~AbstractExtensionInterface() override;

    virtual void setupActions(ApplicationActionMediator *mediator) = 0;
};
