#pragma once

#include <functional>
#include <map>

#include <QPoint>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class QLabel;
class QListWidget;
class QMenu;
class ProgramData;
class ScanEngine;

// The main window: the navigation column, the title buttons and the four pages. It shows the
// figures of the stored records, drives the scan engine and shows its live state. The skinned
// pictures of its buttons are drawn by whoever listens to the button signals (the skin table).
class TForm1 : public QWidget {
    Q_OBJECT
public:
    TForm1(ProgramData &data, ScanEngine &engine, QWidget *parent = nullptr);

    // The page globals and their switchers.
    int currentPage() const { return m_currentPage; }
    void setCurrentPage(int page) { m_currentPage = page; }
    int scanView() const { return m_scanView; }
    void setScanView(int view) { m_scanView = view; }
    void ShowPage();
    void ShowScanView();
    int selectedNavButton() const { return m_selectedNav; }

    // The control that shows skin button `index` (1..37), nullptr for buttons of other windows.
    QLabel *skinControl(int index) const;
    bool skinStretches(int index) const;
    QLabel *progressBar() const { return m_image15; }
    QListWidget *infectionsList() const { return m_infections; }
    QListWidget *vaultList() const { return m_vaultList; }
    QMenu *popupMenu() const { return m_menu; }
    QTimer &timer1() { return m_timer1; }
    QTimer &timer2() { return m_timer2; }

    // Commands.
    void Action1Execute();
    void Action2Execute();
    void Image3Click();
    void Image4Click();
    void Image5Click();
    void Image8Click();
    void Image10Click();
    void Image11Click();
    void Image36Click();

    // Fills edtVirusDB again (item texts from hooks.vaultRows, else the record numbers).
    void fillVaultList();

    // Copies the scan session's texts into the labels now (the timer does it during a scan).
    void refreshScanLabels();
    int scanLabelRepaints() const { return m_labelRepaints; }

    // Commands whose engines live elsewhere; the composition root fills them.
    struct Hooks {
        // Pre-scan update offer: returns true when it took over (showed the update prompt);
        // `action` 1 is a full scan, 2 a custom scan.
        std::function<bool(int action)> preScanOffer;
        std::function<void()> customScan;          // shows the directory window
        std::function<void()> remove;              // Image20
        std::function<void(int which)> restore;    // 1 Image34, 2 Image35
        std::function<void()> deleteFromVault;     // DeletefromVault1, for the selected row
        std::function<void()> checkNow;            // Image36 when idle
        std::function<void()> updateSettings;      // Image37, VirusDatabaseSettings1
        std::function<void()> scanSettings;        // ScanSettings1
        std::function<void()> connectAndDownload;  // UpdateSettings1
        std::function<void()> minimize;            // Image9
        std::function<void()> minimizeToTray;      // MinimizetoSystemTray1
        std::function<void()> about;               // About1
        std::function<void()> fillUpdateLabels;    // Action2's first step
        std::function<void()> scheduledCheck;      // Timer2
        std::function<QStringList()> vaultRows;    // the vault list's item texts
        std::function<void()> scanLog;             // ScanLog1, the History page's Scan Log
        std::function<void()> scheduledScan;       // ScheduledScan1
    } hooks;

signals:
    // For the skin table: mouse moves (-1: none hovered), presses, releases and selections.
    void buttonHovered(int index);
    void buttonPressed(int index);
    void buttonReleased(int index);
    void navigationSelected(int index);
    void closing();  // the Close button was clicked; no image changes afterwards
    // Timer1: repaint the progress bar with this percent.
    void progressRepaintRequested(int percent);
    // Local files or folders were dropped onto the window.
    void entriesDropped(const QStringList &paths);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QLabel *label(QWidget *parent, const char *name, int x, int y, const QString &text,
                  bool bold = false);
    QLabel *picture(QWidget *parent, const char *name, const QRect &geometry);
    QLabel *button(QWidget *parent, const char *name, int skinIndex, const QRect &geometry,
                   const QString &hint, bool stretch);
    bool mouseEvent(QWidget *w, QEvent *event);
    void watchRightClicks();
    void dragSurface(QWidget *w);
    void hoverReset(QWidget *w);
    void buttonClicked(int index);
    void selectNavigation(int index);
    void applyMask();
    void startDrag(QWidget *surface, const QPoint &globalPos);
    void onRowAppended(int row);
    void buildScanPage();
    void buildOtherPages();
    void buildMenu();
    void Timer1Timer();

    ProgramData &m_data;
    ScanEngine &m_engine;
    int m_currentPage = 1;
    int m_scanView = 1;
    int m_selectedNav = 1;
    int m_labelRepaints = 0;

    std::map<int, QLabel *> m_buttons;  // skin index -> control
    std::map<QObject *, int> m_buttonOf;
    std::map<int, bool> m_stretch;
    QWidget *m_pressedOn = nullptr;
    bool m_dragging = false;
    QPoint m_dragOffset;

    QWidget *m_panel1, *m_panel2, *m_panel3, *m_panel4, *m_panel5, *m_panel6;
    QLabel *m_image15, *m_image29;
    QLabel *m_label10, *m_label11, *m_label12, *m_label40;
    QListWidget *m_infections, *m_vaultList;
    QMenu *m_menu;
    QTimer m_timer1, m_timer2;
};
