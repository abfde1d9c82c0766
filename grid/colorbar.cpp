#include "colorbar.h"

#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cstring>

CColorBar::CColorBar(QWidget* parent) : QFrame(parent), refreshTimer_(new QTimer(this))
{
    refreshTimer_->setObjectName(QStringLiteral("refreshTimer"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    clientRect_ = QRect(QPoint(0, 0), contentsRect().size());
    connect(refreshTimer_, &QTimer::timeout, this, [this] { refreshChanged(); });
}

CColorBar::~CColorBar()
{
    renderer_.reset(); // no picture may finish into a window being taken down
}

bool CColorBar::validCell(int column, int row)
{
    return column >= 0 && column < GRID_MAX_COLUMNS && row >= 0 && row < GRID_MAX_ROWS;
}

bool CColorBar::AttachToDialogItem(int controlId, QWidget* parentDialog)
{
    if (attached_ || !parentDialog)
        return false;
    QWidget* placeholder = nullptr;
    const auto children = parentDialog->findChildren<QWidget*>();
    for (QWidget* w : children) {
        const QVariant id = w->property("controlId");
        if (w != this && id.isValid() && id.toInt() == controlId) {
            placeholder = w;
            break;
        }
    }
    if (!placeholder)
        return false;

    QWidget* host = placeholder->parentWidget();
    const bool visible = !placeholder->isHidden();
    setParent(host);
    setObjectName(placeholder->objectName());
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setSizePolicy(placeholder->sizePolicy());
    setGeometry(placeholder->geometry());
    if (host && host->layout())
        delete host->layout()->replaceWidget(placeholder, this);
    stackUnder(placeholder);

    placeholder->setProperty("controlId", QVariant());
    placeholder->hide();
    placeholder->deleteLater();

    controlId_ = controlId;
    setProperty("controlId", controlId);
    setVisible(visible);
    attached_ = 1;
    clientRect_ = QRect(QPoint(0, 0), contentsRect().size());
    return true;
}

void CColorBar::SetRefreshTimer(int intervalMs, bool on)
{
    if (on)
        refreshTimer_->start(std::max(intervalMs, 10)); // at most 100 repaints a second
    else
        refreshTimer_->stop();
    refreshing_ = on;
}

void CColorBar::SetColumns(int count)
{
    const int columns = std::clamp(count, 0, GRID_MAX_COLUMNS);
    if (columns_.exchange(columns) != columns) {
        std::lock_guard lock(cellsMutex_);
        judgeDue_ = true;
        markChanged();
    }
}

void CColorBar::SetRows(int count)
{
    const int rows = std::clamp(count, 0, GRID_MAX_ROWS);
    if (rows_.exchange(rows) != rows) {
        std::lock_guard lock(cellsMutex_);
        judgeDue_ = true;
        markChanged();
    }
}

namespace {

// Callers' arrays may sit on odd addresses (packed page records): they are taken in with memcpy.
// The cells themselves are written element by element, which ThreadSanitizer sees; it does not
// see the copies the compiler inlines for memcpy. Returns whether anything changed.
template <typename T> bool copyIn(T (&to)[GRID_CHANNELS], const T (&from)[GRID_CHANNELS])
{
    bool changed = false;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        changed = changed || to[k] != from[k];
        to[k] = from[k];
    }
    return changed;
}

void clearMarks(ColorBarCell& cell)
{
    for (auto& mark : cell.hitMark)
        mark = 0;
}

} // namespace

void CColorBar::copyChannels(
    int column, int row, std::uint16_t (ColorBarCell::*field)[GRID_CHANNELS], const std::uint16_t* values)
{
    if (!validCell(column, row) || !values)
        return;
    std::uint16_t copy[GRID_CHANNELS];
    std::memcpy(copy, values, sizeof copy);
    std::lock_guard lock(cellsMutex_);
    if (copyIn(cells_[column][row].*field, copy)) {
        judgeDue_ = true;
        markChanged();
    }
}

void CColorBar::SetValues(int column, int row, const std::uint16_t* values)
{
    copyChannels(column, row, &ColorBarCell::value, values);
}

void CColorBar::SetReference(int column, int row, const std::uint16_t* values)
{
    copyChannels(column, row, &ColorBarCell::reference, values);
}

void CColorBar::SetUpperLimits(int column, int row, const std::uint16_t* values)
{
    copyChannels(column, row, &ColorBarCell::upperLimit, values);
}

void CColorBar::SetLowerLimits(int column, int row, const std::uint16_t* values)
{
    copyChannels(column, row, &ColorBarCell::lowerLimit, values);
}

void CColorBar::SetChannelStates(int column, int row, const std::uint8_t* states)
{
    if (!validCell(column, row) || !states)
        return;
    std::uint8_t copy[GRID_CHANNELS];
    std::memcpy(copy, states, sizeof copy);
    std::lock_guard lock(cellsMutex_);
    if (copyIn(cells_[column][row].channelState, copy)) {
        judgeDue_ = true;
        markChanged();
    }
}

void CColorBar::GetChannelStates(int column, int row, std::uint8_t* states) const
{
    if (!states)
        return;
    if (!validCell(column, row)) {
        std::memset(states, 0, GRID_CHANNELS);
        return;
    }
    std::uint8_t copy[GRID_CHANNELS];
    {
        std::lock_guard lock(cellsMutex_);
        copyIn(copy, cells_[column][row].channelState);
    }
    std::memcpy(states, copy, sizeof copy);
}

std::uint8_t CColorBar::GetChannelState(int column, int row, int channel) const
{
    if (!validCell(column, row) || channel < 0 || channel >= GRID_CHANNELS)
        return 0;
    std::lock_guard lock(cellsMutex_);
    return cells_[column][row].channelState[channel];
}

void CColorBar::SetChannelState(int column, int row, int channel, std::uint8_t state)
{
    if (!validCell(column, row) || channel < 0 || channel >= GRID_CHANNELS)
        return;
    std::lock_guard lock(cellsMutex_);
    cells_[column][row].channelState[channel] = state;
    judgeDue_ = true;
    markChanged();
}

void CColorBar::SetDataRange(int column, int row, int high, int low)
{
    if (!validCell(column, row))
        return;
    std::lock_guard lock(cellsMutex_);
    ColorBarCell& cell = cells_[column][row];
    if (cell.rangeHigh != high || cell.rangeLow != low) {
        cell.rangeHigh = high;
        cell.rangeLow = low;
        markChanged();
    }
}

void CColorBar::SetSimilarityOn(int column, int row, bool on)
{
    if (!validCell(column, row))
        return;
    {
        std::lock_guard lock(cellsMutex_);
        cells_[column][row].similarityOn = on;
        judgeDue_ = true;
        markChanged();
    }
    requestRepaint();
}

bool CColorBar::GetSimilarityOn(int column, int row) const
{
    if (!validCell(column, row))
        return false;
    std::lock_guard lock(cellsMutex_);
    return cells_[column][row].similarityOn;
}

void CColorBar::SetSimilarityThreshold(int column, int row, double threshold)
{
    if (!validCell(column, row))
        return;
    std::lock_guard lock(cellsMutex_);
    cells_[column][row].similarityThreshold = threshold;
    judgeDue_ = true;
    markChanged();
}

void CColorBar::SetCellTested(int column, int row, bool tested)
{
    if (!validCell(column, row))
        return;
    std::lock_guard lock(cellsMutex_);
    if (untested_[column][row] == !tested)
        return;
    untested_[column][row] = !tested;
    judgeDue_ = true;
    markChanged();
}

bool CColorBar::GetCellTested(int column, int row) const
{
    if (!validCell(column, row))
        return false;
    std::lock_guard lock(cellsMutex_);
    return !untested_[column][row];
}

bool CColorBar::CopyTestedCell(int column, int row, ColorBarCell* cell) const
{
    if (!validCell(column, row))
        return false;
    std::lock_guard lock(cellsMutex_);
    if (untested_[column][row])
        return false;
    *cell = cells_[column][row];
    return true;
}

double CColorBar::GetSimilarityThreshold(int column, int row) const
{
    if (!validCell(column, row))
        return 0;
    std::lock_guard lock(cellsMutex_);
    return cells_[column][row].similarityThreshold;
}

void CColorBar::SetShowVerdict(bool on)
{
    showVerdict_ = on;
    {
        std::lock_guard lock(cellsMutex_);
        judgeDue_ = true;
        markChanged();
    }
    requestRepaint();
}

void CColorBar::SetEmergencyStop(bool on)
{
    if (emergencyStop_.exchange(on) == on)
        return;
    markChanged();
    requestRepaint();
}

void CColorBar::ClearHitMarks()
{
    const int columns = columns_, rows = rows_;
    std::lock_guard lock(cellsMutex_);
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            clearMarks(cells_[c][r]);
    judgeDue_ = true;
    markChanged();
}

double CColorBar::ComputeSimilarity(int column, int row) const
{
    if (!validCell(column, row))
        return 0;
    std::lock_guard lock(cellsMutex_);
    return ::ComputeSimilarity(cells_[column][row]);
}

CellVerdict CColorBar::GetVerdict(int column, int row) const
{
    if (!validCell(column, row))
        return Pass;
    std::lock_guard lock(cellsMutex_);
    return verdicts_[column][row];
}

double CColorBar::GetSimilarity(int column, int row) const
{
    if (!validCell(column, row))
        return 0;
    std::lock_guard lock(cellsMutex_);
    return cells_[column][row].similarity;
}

void CColorBar::GetHitMarks(int column, int row, std::uint8_t* marks) const
{
    if (!marks)
        return;
    if (!validCell(column, row)) {
        std::memset(marks, 0, GRID_CHANNELS);
        return;
    }
    std::uint8_t copy[GRID_CHANNELS];
    {
        std::lock_guard lock(cellsMutex_);
        copyIn(copy, cells_[column][row].hitMark);
    }
    std::memcpy(marks, copy, sizeof copy);
}

int CColorBar::GetTestedChannels() const
{
    std::lock_guard lock(cellsMutex_);
    return testedChannels_;
}

int CColorBar::GetMarkedChannels() const
{
    std::lock_guard lock(cellsMutex_);
    return markedChannels_;
}

int CColorBar::GetUnmarkedChannels() const
{
    std::lock_guard lock(cellsMutex_);
    return unmarkedChannels_;
}

// Coefficients and marks cell by cell, then the verdicts, then the totals and the automatic
// clearing of the marks. Untested cells get no coefficient, marks or verdict.
void CColorBar::judgeLocked(int columns, int rows, bool showVerdict)
{
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            ColorBarCell& cell = cells_[c][r];
            if (untested_[c][r])
                continue;
            if (cell.similarityOn)
                cell.similarity = ::ComputeSimilarity(cell);
            for (int k = 0; k < GRID_CHANNELS; ++k)
                if (cell.channelState[k] == Active && IsAboveUpper(cell, k))
                    cell.hitMark[k] = 1;
        }
    }

    int testedCells = 0, judgedCells = 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (untested_[c][r])
                continue;
            ++testedCells;
            const auto& states = cells_[c][r].channelState;
            judgedCells += std::find(std::begin(states), std::end(states), Active) != std::end(states);
        }
    }
    judgedCells_ = judgedCells;

    if (showVerdict) {
        int fails = 0;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                const CellVerdict v = untested_[c][r] ? Pass : JudgeCell(cells_[c][r]);
                verdicts_[c][r] = v;
                fails += !untested_[c][r] && v == Fail;
            }
        }
        failCount_ = fails;
    }

    int tested = 0, marked = 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (untested_[c][r])
                continue;
            for (int k = 0; k < GRID_CHANNELS; ++k) {
                tested += cells_[c][r].channelState[k] == Active;
                marked += cells_[c][r].hitMark[k] != 0;
            }
        }
    }
    testedChannels_ = tested;
    markedChannels_ = marked;
    unmarkedChannels_ = tested - marked;
    if (unmarkedChannels_ == 0 && failCount_ == 0 && testedCells != 0)
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                clearMarks(cells_[c][r]);
    judgeDue_ = false;
}

void CColorBar::JudgeCells()
{
    const int columns = columns_, rows = rows_;
    const bool showVerdict = showVerdict_;
    std::lock_guard lock(cellsMutex_);
    // Unchanged cells judge as before; whatever made judging due has already asked for a repaint.
    if (judgeDue_)
        judgeLocked(columns, rows, showVerdict);
}

std::uint64_t CColorBar::snapshot(GridFrame& frame, QSize size)
{
    const int columns = columns_, rows = rows_;
    const bool showVerdict = showVerdict_;
    frame.columns = columns;
    frame.rows = rows;
    frame.showVerdict = showVerdict;
    frame.fpcTestMode = fpcTestMode_;
    const std::uint64_t changes = changes_.load();

    {
        // The picture keeps the marks from before a judgement made here: a cell's bars are drawn
        // before its strip sets them.
        std::lock_guard lock(cellsMutex_);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                frame.cells[c][r] = cells_[c][r];
        if (judgeDue_)
            judgeLocked(columns, rows, showVerdict);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                frame.cells[c][r].similarity = cells_[c][r].similarity;
                frame.verdicts[c][r] = verdicts_[c][r];
                frame.untested[c][r] = untested_[c][r];
            }
        }
    }
    updateHover(size);
    frame.failCount = failCount_;
    frame.emergencyStop = emergencyStop_;
    return changes;
}

void CColorBar::updateHover(QSize size)
{
    const HoverHit hit =
        HitTest(GridGeometry(size.width(), size.height(), columns_, rows_, showVerdict_), mouseX_, mouseY_);
    hoverColumn_ = hit.column;
    hoverRow_ = hit.row;
    if (hit.channel >= 0)
        hoverChannel_ = hit.channel;
}

void CColorBar::PaintTo(QImage& image)
{
    if (!image.isNull() && image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    snapshot(frame_, image.size());
    painter_.paint(image, frame_);
}

void CColorBar::paintBackBuffer()
{
    paintedChanges_ = snapshot(frame_, backBuffer_.size());
    painter_.paint(backBuffer_, frame_);
    showingRendered_ = false;
    uiLayersHeld_ = true;
}

void CColorBar::SetMaxRepaintRate(int perSecond)
{
    maxRepaintRate_ = std::clamp(perSecond, 1, 100);
}

void CColorBar::refreshChanged()
{
    const std::uint64_t changes = changes_.load();
    if (changes == paintedChanges_ || changes == submittedChanges_ || !isVisible())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRefresh_ < std::chrono::milliseconds(1000 / maxRepaintRate_))
        return; // a human sees no more; verdicts and lines never wait for this
    lastRefresh_ = now;
    const QRect area = contentsRect();
    if (area.isEmpty() || backBuffer_.size() != area.size()) {
        update();
        return;
    }
    // Drawn on the renderer's thread; the UI thread only shows the cells that changed.
    if (!renderer_)
        renderer_ = std::make_unique<GridRenderer>(
            [this] { QMetaObject::invokeMethod(this, "applyRendered", Qt::QueuedConnection); });
    submittedChanges_ = snapshot(frame_, area.size());
    renderer_->Submit(frame_, area.size(), submittedChanges_);
}

void CColorBar::applyRendered()
{
    const QRect area = contentsRect();
    if (!renderer_ || backBuffer_.size() != area.size())
        return; // resized meanwhile: the paint at the new size draws it here
    const GridRenderer::Taken taken = renderer_->Take();
    if (taken.changed.isEmpty() || taken.size != area.size())
        return;
    paintedChanges_ = taken.stamp;
    if (uiLayersHeld_ && painter_.cacheEnabled()) {
        // The renderer's layers serve from now on; these would only hold a window's worth of
        // memory until the next resize, which builds them anew at its size anyway.
        painter_.setCacheEnabled(false);
        painter_.setCacheEnabled(true);
    }
    uiLayersHeld_ = false;
    // A picture drawn here since may differ from the renderer's anywhere.
    update(showingRendered_ ? taken.changed.translated(area.topLeft()) : area);
    showingRendered_ = true;
}

void CColorBar::paintEvent(QPaintEvent* event)
{
    const QRect area = contentsRect();
    QPainter p(this);
    if (!area.isEmpty()) {
        if (backBuffer_.size() != area.size()) {
            backBuffer_ = QImage(area.size(), QImage::Format_RGB32);
            paintBackBuffer();
        } else if (!refreshing_.load() && changes_.load() != paintedChanges_) {
            // With the refresh timer on, its pictures keep the window current; this would only
            // draw on the UI thread what the renderer is about to draw.
            paintBackBuffer();
        }
        // Only the part asked for: the refresh sends the cells that changed.
        const QRect asked = event->rect().intersected(area);
        const QRect source = asked.translated(-area.topLeft());
        if (!showingRendered_ || !renderer_ || !renderer_->DrawTo(p, asked.topLeft(), source, area.size()))
            p.drawImage(asked.topLeft(), backBuffer_, source);
    }
    drawFrame(&p);
}

void CColorBar::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    clientRect_ = QRect(QPoint(0, 0), contentsRect().size());
}

void CColorBar::storePointer(const QMouseEvent* event)
{
    const QPoint at = event->position().toPoint() - contentsRect().topLeft();
    mouseX_ = at.x();
    mouseY_ = at.y();
    mouseFlags_ = int(event->buttons().toInt()) | int(event->modifiers().toInt());
}

void CColorBar::mouseMoveEvent(QMouseEvent* event)
{
    storePointer(event);
    updateHover(contentsRect().size()); // not drawn: nothing to repaint
    QFrame::mouseMoveEvent(event);
}

void CColorBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit clicked(controlId_);
        return;
    }
    QFrame::mousePressEvent(event);
}

void CColorBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Not passed on: the base class would turn it into a second press, a second click.
    if (event->button() != Qt::LeftButton)
        return;
    storePointer(event);
    const int c = hoverColumn_, r = hoverRow_, k = hoverChannel_;
    if (validCell(c, r) && k >= 0 && k < GRID_CHANNELS) {
        std::lock_guard lock(cellsMutex_);
        std::uint8_t& state = cells_[c][r].channelState[k];
        state = NextChannelState(state);
        judgeDue_ = true;
        markChanged();
    }
    requestRepaint();
    event->accept();
}

void CColorBar::requestRepaint()
{
    if (refreshing_.load())
        return; // the refresh timer draws what changed, off the UI thread
    // By the slot's name: a queued lambda's captures would be read on the UI thread behind Qt's
    // own locking, which ThreadSanitizer cannot see.
    if (QThread::currentThread() == thread())
        update();
    else
        QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}
