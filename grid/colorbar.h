#pragma once
// The measurement grid control: up to 10 x 10 cells, one per sensor, each judging and showing the
// sensor's 32 channels. Part of grid/, which depends on Qt Widgets and the standard library only.
//
// Threads: the cell setters, GetColumns/GetRows, GetFailCount and the other getters may be called
// from any thread (the acquisition worker calls them while the UI thread paints); the repaint
// that SetSimilarityOn and SetShowVerdict ask for is queued to the UI thread. Everything that
// touches the widget (attaching, the timer, painting, mouse handling) belongs to the UI thread.
// The cells sit behind a mutex. JudgeCells judges them under it (the worker does so after every
// pass, so verdicts and the board's lines never wait for a paint); a paint judges only cells
// changed since, then draws from a copy, so the worker never waits for drawing. The refresh timer
// repaints only when something changed; while it runs, its pictures are drawn on a thread of
// their own (grid_renderer.h) and the window shows the newest finished one, so a long picture
// never holds up the UI thread. Without the timer, a paint draws the current state itself.
//
// Indices: a (column, row) outside 10 x 10 or a channel outside 0..31 is ignored by setters and
// reads as 0 from getters. SetColumns/SetRows clamp to 0..10. A grid may hold more cells than
// pageTable has pages; use PageOfCell (page_table.h) before indexing the table.
//
// Cells start zeroed: every channel tested, limits and values 0, an empty range. Such a cell is
// judged PASS and shows no bars until someone fills it. A cell marked untested (no board measures
// it) gets no verdict, is drawn neutral and never counts toward PASS.
#include "grid_model.h"
#include "grid_painter.h"
#include "grid_renderer.h"

#include <QFrame>
#include <QImage>
#include <QTimer>

#include <QRegion>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

class CColorBar : public QFrame {
    Q_OBJECT

public:
    explicit CColorBar(QWidget* parent = nullptr);
    ~CColorBar() override;

    // Takes the place of the placeholder widget inside `parentDialog` whose dynamic property
    // "controlId" equals controlId: its parent, geometry (or place in a layout), visibility and
    // object name; the grid then carries the id in its own "controlId" property and shows a
    // sunken frame; the placeholder is deleted. Does nothing when already attached. Returns
    // whether this call attached the control.
    bool AttachToDialogItem(int controlId, QWidget* parentDialog);
    bool IsAttached() const { return attached_ != 0; }
    int ControlId() const { return controlId_; }

    // Looks for changes every intervalMs (below 10 ms it becomes 10 ms), or stops; what changed
    // is repainted at most SetMaxRepaintRate times a second (30 unless set), only the cells whose
    // picture changed going to the window.
    void SetRefreshTimer(int intervalMs, bool on);
    void SetMaxRepaintRate(int perSecond); // 1 to 100

    void SetColumns(int count);
    void SetRows(int count);
    int GetColumns() const { return columns_.load(); }
    int GetRows() const { return rows_.load(); }

    // Arrays of 32 entries, copied in with memcpy: the unaligned arrays of packed page records
    // may be passed as they are.
    void SetValues(int column, int row, const std::uint16_t* values);
    void SetReference(int column, int row, const std::uint16_t* values);
    void SetUpperLimits(int column, int row, const std::uint16_t* values);
    void SetLowerLimits(int column, int row, const std::uint16_t* values);
    void SetChannelStates(int column, int row, const std::uint8_t* states);
    void GetChannelStates(int column, int row, std::uint8_t* states) const;
    std::uint8_t GetChannelState(int column, int row, int channel) const;
    void SetChannelState(int column, int row, int channel, std::uint8_t state);
    void SetDataRange(int column, int row, int high, int low);
    void SetSimilarityOn(int column, int row, bool on);
    bool GetSimilarityOn(int column, int row) const;
    void SetSimilarityThreshold(int column, int row, double threshold);
    double GetSimilarityThreshold(int column, int row) const;
    // Whether a board measures this cell; cells are tested until told otherwise.
    void SetCellTested(int column, int row, bool tested);
    bool GetCellTested(int column, int row) const;
    // The cell as the last judgement left it, under one lock; false (and nothing copied) for an
    // untested cell or one outside the grid.
    bool CopyTestedCell(int column, int row, ColorBarCell* cell) const;
    void SetShowVerdict(bool on);
    bool GetShowVerdict() const { return showVerdict_.load(); }
    void SetFpcTestMode(int flag) { fpcTestMode_ = flag; }
    int GetFpcTestMode() const { return fpcTestMode_.load(); }

    // The cell and channel under the pointer as of the last paint; always inside the grid.
    int GetHoverColumn() const { return hoverColumn_.load(); }
    int GetHoverRow() const { return hoverRow_.load(); }
    int GetHoverChannel() const { return hoverChannel_.load(); }
    // Judges every cell of the grid now: similarity, hit marks, verdicts, the fail count and the
    // channel totals, as a paint would.
    void JudgeCells();
    // Cells judged Fail at the last judgement with the verdict row on.
    int GetFailCount() const { return failCount_.load(); }
    // Tested cells with at least one tested channel at the last judgement: LOAD cells judge
    // nothing, so the station passes only when this is not 0 and nothing failed.
    int GetJudgedCellCount() const { return judgedCells_.load(); }
    // While the emergency stop is latched nothing is measured: the big word over the grid says so
    // in place of PASS.
    void SetEmergencyStop(bool on);
    bool GetEmergencyStop() const { return emergencyStop_.load(); }
    void ClearHitMarks();
    double ComputeSimilarity(int column, int row) const;

    // Results of the last paint.
    CellVerdict GetVerdict(int column, int row) const;
    double GetSimilarity(int column, int row) const;
    void GetHitMarks(int column, int row, std::uint8_t* marks) const;
    int GetTestedChannels() const;
    int GetMarkedChannels() const;
    int GetUnmarkedChannels() const;
    // Client rectangle as (0, 0, width, height), kept on attaching and resizing.
    QRect GetClientRect() const { return clientRect_; }

    // One whole paint into `image`, whose size stands for the client size: verdicts, fail count,
    // marks, similarity and hover are updated as by a paint of the window. The image becomes
    // Format_RGB32. Handing back the image of the last paint, untouched, lets the paint redraw
    // only what changed.
    void PaintTo(QImage& image);
    void setPaintCacheEnabled(bool on) { painter_.setCacheEnabled(on); }
    bool paintCacheEnabled() const { return painter_.cacheEnabled(); }

signals:
    // A left-button press on the control (the second press of a double-click does not count).
    void clicked(int controlId);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private slots:
    // A picture the drawing thread finished: its changed area goes to the window.
    void applyRendered();

private:
    static bool validCell(int column, int row);
    void copyChannels(
        int column, int row, std::uint16_t (ColorBarCell::*field)[GRID_CHANNELS], const std::uint16_t* values);
    void requestRepaint();
    void refreshChanged();
    // Judges what is due and copies the cells for a picture at `size`; returns the change count
    // the copy shows.
    std::uint64_t snapshot(GridFrame& frame, QSize size);
    void updateHover(QSize size);
    void paintBackBuffer();
    void storePointer(const QMouseEvent* event);
    void judgeLocked(int columns, int rows, bool showVerdict);
    void markChanged() { changes_.fetch_add(1, std::memory_order_relaxed); }

    mutable std::mutex cellsMutex_;
    ColorBarCell cells_[GRID_MAX_COLUMNS][GRID_MAX_ROWS] = {};
    CellVerdict verdicts_[GRID_MAX_COLUMNS][GRID_MAX_ROWS] = {};
    bool untested_[GRID_MAX_COLUMNS][GRID_MAX_ROWS] = {};
    // Judging is due: some cell, the grid size or the verdict switch changed since the last one.
    bool judgeDue_ = true;
    int testedChannels_ = 0;
    int markedChannels_ = 0;
    int unmarkedChannels_ = 0;

    std::atomic<int> columns_{2};
    std::atomic<int> rows_{2};
    std::atomic<bool> showVerdict_{true};
    std::atomic<int> fpcTestMode_{0};
    std::atomic<int> failCount_{0};
    std::atomic<int> judgedCells_{0};
    std::atomic<bool> emergencyStop_{false};
    std::atomic<bool> refreshing_{false}; // the refresh timer runs
    // Bumped by every change that shows; the timer repaints only when it moved since the last paint.
    std::atomic<std::uint64_t> changes_{0};
    std::uint64_t paintedChanges_ = ~std::uint64_t{0}; // UI thread: what backBuffer_ shows

    // UI thread only.
    int mouseX_ = 0;
    int mouseY_ = 0;
    int mouseFlags_ = 0;
    std::atomic<int> hoverColumn_{0};
    std::atomic<int> hoverRow_{0};
    std::atomic<int> hoverChannel_{0};
    QRect clientRect_;
    int attached_ = 0;
    int controlId_ = 0;
    QTimer* refreshTimer_; // child named "refreshTimer"
    QImage backBuffer_;
    int maxRepaintRate_ = 30;
    std::chrono::steady_clock::time_point lastRefresh_{};
    GridFrame frame_;
    GridPainter painter_; // for paints on the UI thread: PaintTo, a first paint, a resize
    // The refresh timer's pictures are drawn on a thread of their own, started at the first.
    std::unique_ptr<GridRenderer> renderer_;
    std::uint64_t submittedChanges_ = ~std::uint64_t{0};
    bool showingRendered_ = false; // the window shows the renderer's pictures, not backBuffer_
    bool uiLayersHeld_ = false; // painter_ keeps layers from a paint of backBuffer_
};
