// The sniffer's single window: wires the actions, the refresh tick and the
// dialogs to the capture pipeline, the record view, the protocol symbols and
// the save / open code. The logic lives in those libraries; the slots here
// only connect it to the widgets.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <memory>

class CaptureFileLock;
class PageFiller;
class QStandardItemModel;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_actionStart_triggered();
    void on_actionStop_triggered();
    void on_verticalScrollBar_valueChanged(int value);
    void on_actionClear_triggered();
    void on_actionMerge_triggered(bool checked);
    void on_actionProtocolConfig_triggered();
    void on_actionDecode_triggered(bool checked);
    void on_actionHelp_triggered();
    void on_actionAbout_triggered();
    void on_actionSaveFile_triggered();
    void on_actionOpenFile_triggered();
    void on_actionExit_triggered();

protected:
    void timerEvent(QTimerEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fillPage(int firstLine, int lineCount);
    void setCapturing(bool capturing);
    bool storeUsable() const;
    void startRefreshTimer();
    void stopRefreshTimer();
    void warn(const QString &text);
    QString contactText() const;
    void showCaptureEnd();

    Ui::MainWindow *m_ui;
    int32_t m_deviceIndex = 0;
    int32_t m_channelIndex = 0;
    int m_refreshTimerId = 0;
    QStandardItemModel *m_tableModel = nullptr;
    QStringList m_headerLabels;
    bool m_autoFollow = true;
    // The page fill's reusable read buffer.
    std::unique_ptr<PageFiller> m_pageFiller;
    // Held while this window owns the working directory's capture file; a
    // window without it never opens, empties or removes that file.
    std::unique_ptr<CaptureFileLock> m_captureFileLock;
    bool m_ownsCaptureFile = false;
    bool m_captureEndShown = false; // the end of the running capture was told
};
