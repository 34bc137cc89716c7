#include "ui/waterripple.h"

#include <algorithm>

void CXWaterRoutine::Create(int width, int height)
{
    m_iWidth = std::max(width, 0);
    m_iHeight = std::max(height, 0);
    const auto cells = static_cast<size_t>(m_iWidth) * static_cast<size_t>(m_iHeight);
    m_first.assign(cells, 0);
    m_second.assign(cells, 0);
    m_iPage = 0;
}

void CXWaterRoutine::Clear()
{
    std::fill(m_first.begin(), m_first.end(), 0);
    std::fill(m_second.begin(), m_second.end(), 0);
}

void CXWaterRoutine::Step(int page)
{
    const std::vector<int>& from = page == 1 ? m_first : m_second;
    std::vector<int>& to = page == 1 ? m_second : m_first;
    const int w = m_iWidth;
    for (int y = 1; y < m_iHeight - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            const size_t up = i - static_cast<size_t>(w);
            const size_t down = i + static_cast<size_t>(w);
            // Twice the neighbours' mean, less where this point was a step ago: the wave equation on a grid.
            int n = (from[up - 1] + from[up] + from[up + 1] + from[i - 1] + from[i + 1] + from[down - 1] + from[down] +
                     from[down + 1]) >>
                    2;
            n -= to[i];
            to[i] = n - (n >> kDampingShift);
        }
    }
}

void CXWaterRoutine::AddBlob(bool first, int x, int y, int radius, int height)
{
    std::vector<int>& map = first ? m_first : m_second;
    const int squared = radius * radius;
    const int left = std::max(x - radius, 1);
    const int right = std::min(x + radius, m_iWidth - 2);
    const int top = std::max(y - radius, 1);
    const int bottom = std::min(y + radius, m_iHeight - 2);
    for (int cy = top; cy <= bottom; ++cy) {
        for (int cx = left; cx <= right; ++cx) {
            const int dx = cx - x;
            const int dy = cy - y;
            if (dx * dx + dy * dy < squared)
                map[static_cast<size_t>(cy) * static_cast<size_t>(m_iWidth) + static_cast<size_t>(cx)] += height;
        }
    }
}

bool CXWaterRoutine::Render(const QImage& source, QImage* display) const
{
    if (display == nullptr || source.size() != QSize(m_iWidth, m_iHeight) || display->size() != source.size() ||
        source.format() != QImage::Format_RGB32 || display->format() != QImage::Format_RGB32 ||
        source.bytesPerLine() != qsizetype(m_iWidth) * 4 || display->bytesPerLine() != source.bytesPerLine())
        return false;
    const int w = m_iWidth;
    const qsizetype cells = static_cast<qsizetype>(w) * m_iHeight;
    // 32-bit rows need no padding, so both pictures are plain arrays of w x h pixels like the maps.
    const auto* in = reinterpret_cast<const QRgb*>(source.constBits());
    auto* out = reinterpret_cast<QRgb*>(display->bits());
    for (int y = 1; y < m_iHeight - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            const qsizetype i = static_cast<qsizetype>(y) * w + x;
            const int dx = m_first[static_cast<size_t>(i)] - m_first[static_cast<size_t>(i + 1)];
            const int dy = m_first[static_cast<size_t>(i)] - m_first[static_cast<size_t>(i + w)];
            // The slope bends the view of the picture beneath and shades it: rising water darkens.
            const qsizetype k = i + (dx >> 3) + static_cast<qsizetype>(w) * (dy >> 3);
            if (k <= 0 || k >= cells)
                continue;
            const QRgb pixel = in[k];
            const int red = std::clamp(qRed(pixel) - dx, 0, 255);
            const int green = std::clamp(qGreen(pixel) - dx, 0, 255);
            const int blue = std::clamp(qBlue(pixel) - dx, 0, 255);
            out[i] = qRgb(red, green, blue); // Qt's 32-bit RGB wants the top byte opaque
        }
    }
    return true;
}

bool CXWaterRoutine::Tick(const QImage& source, QImage* display)
{
    const bool drawn = Render(source, display);
    Step(m_iPage);
    m_iPage = 1 - m_iPage;
    return drawn;
}

void CXWaterRoutine::AddRipple(int x, int y, int radius, int height)
{
    AddBlob(m_iPage == 0, x, y, radius, height);
}

int CXWaterRoutine::HeightAt(bool first, int x, int y) const
{
    if (!Inside(x, y))
        return 0;
    const std::vector<int>& map = first ? m_first : m_second;
    return map[static_cast<size_t>(y) * static_cast<size_t>(m_iWidth) + static_cast<size_t>(x)];
}

void CXWaterRoutine::SetHeight(bool first, int x, int y, int value)
{
    if (!Inside(x, y))
        return;
    std::vector<int>& map = first ? m_first : m_second;
    map[static_cast<size_t>(y) * static_cast<size_t>(m_iWidth) + static_cast<size_t>(x)] = value;
}
