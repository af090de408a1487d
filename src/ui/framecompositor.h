#pragma once

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>

class AnimatedBackground;

// Lets a window's animated background move without repainting the window's other children.
//
// A see-through sheet laid over the whole window, above its children. It keeps two
// pictures: what the window paints itself (beneath the background) and what all the other
// children paint (above it). For a frame of the background it turns opaque for the moment
// of one synchronous repaint, so the toolkit paints only the sheet, and the sheet composes
// window, background and children from those pictures.
//
// Every other paint (a label's new text, a hover, an expose) happens the ordinary way while
// the sheet is see-through; the sheet then paints nothing and only renders the changed area
// into its pictures again. Before each frame it lets every pending ordinary paint run, so a
// frame never hides a change.
class FrameCompositor final : public QWidget
{
    Q_OBJECT

public:
    // Made a child of background's parent, covering it, on top of its children.
    explicit FrameCompositor(AnimatedBackground *background);

    // Repaints region (parent coordinates) at once from the pictures and the background.
    void present(const QRegion &region);

    // Pixels rendered into the pictures so far: what changes under the sheet have cost.
    qint64 renderedPixels() const { return m_renderedPixels; }
    // Frames presented so far.
    int presentedFrames() const { return m_presentedFrames; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void render(const QRegion &region);
    void releasePictures();

    QPointer<AnimatedBackground> m_background;
    QImage m_backdrop; // the window's own painting
    QImage m_foreground; // every other child, in stacking order
    QRegion m_valid; // where the pictures hold what is on screen
    bool m_backdropEmpty = true;
    bool m_presenting = false;
    QRegion m_presented;
    qint64 m_renderedPixels = 0;
    int m_presentedFrames = 0;
};
