#pragma once
// Controls placed in pixels that follow their parent's right edge when it is
// resized: either moving with it or stretching to it.

#include <QObject>
#include <QRect>
#include <vector>

class QWidget;

namespace zv {

class TAnchors : public QObject {
public:
    // The parent's present width is the one the registered geometries go with.
    explicit TAnchors(QWidget* parent);

    // Anchored top and right: keeps its distance to the right edge.
    void Right(QWidget* control);
    // Anchored left, top and right: its right edge follows the parent's.
    void LeftRight(QWidget* control);
    // Re-applies after a control's own size changed (an auto-sized label).
    void Update(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TAnchored {
        QWidget* control;
        QRect design;  // at baseWidth
        int baseWidth;
        bool stretches;
    };
    void Apply(const TAnchored& anchored) const;
    void Add(QWidget* control, bool stretches);

    QWidget* parent_;
    std::vector<TAnchored> anchored_;
};

}  // namespace zv
