#pragma once

#include <QObject>

class WdxController;
class WdxModel;

// Polls what the screen in front shows, and nothing else: each poll tick reaches exactly the
// reads of the screen named by the model's activeScreen. The reads that depend on the device
// type are chosen when the screen changes.
//
// User-interface thread.
class VelaScreenController : public QObject
{
    Q_OBJECT
public:
    VelaScreenController(WdxController *controller, WdxModel *model, QObject *parent = nullptr);

signals:
    void pollingTimeout();

public slots:
    void onScreenChanged();

private:
    void onMainTick();

    WdxController *m_controller;
    WdxModel *m_model;
    // The main screen shows the output gains, which change only through the output screen:
    // read once per visit and connection, again on each tick until an answer came.
    bool m_mainGainsPending = true;
};
