#pragma once

#include <QImage>
#include <vector>

// The water effect over a picture: two height maps of the picture's size that trade places every step (one
// holds the surface now, the other the surface a step ago), ripples dropped into them, and a rendering that
// bends and shades the picture by the slope of the surface. Integer arithmetic throughout (shifts, no
// divisions), so a full picture every 20 ms costs little. The outermost rows and columns never move; that
// keeps every neighbour read inside the maps.
class CXWaterRoutine
{
public:
    static constexpr int kDampingShift = 5;

    // Sizes both maps to the picture, sets them flat and starts at page 0.
    void Create(int width, int height);
    // Sets both maps flat.
    void Clear();

    int Width() const { return m_iWidth; }
    int Height() const { return m_iHeight; }
    // The page of the next step: 0 or 1.
    int Page() const { return m_iPage; }

    // One step of the surface. On page 1 the first map is read and the second written, on page 0 the other
    // way round; the written map holds the surface one step later (damped). Does not change the page.
    void Step(int page);
    // Adds height to every interior point closer to (x, y) than radius, on the first map (first == true) or
    // the second. Points outside the maps or on their border are left alone.
    void AddBlob(bool first, int x, int y, int radius, int height);
    // Draws display from source bent and shaded by the first map; only interior pixels whose bent source lies
    // inside the picture are written, the rest keep what they had. Both images must have the maps' size and
    // be 32-bit RGB; returns false (and draws nothing) otherwise.
    bool Render(const QImage& source, QImage* display) const;

    // The effect's clock tick: renders, steps with the current page and turns the page.
    bool Tick(const QImage& source, QImage* display);
    // A ripple where the pointer is, on the map the next step reads.
    void AddRipple(int x, int y, int radius, int height);

    // The maps' cells (for tests and diagnostics); a point outside reads as 0 and is not written.
    int HeightAt(bool first, int x, int y) const;
    void SetHeight(bool first, int x, int y, int value);

private:
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < m_iWidth && y < m_iHeight; }

    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iPage = 0;
    std::vector<int> m_first;
    std::vector<int> m_second;
};
