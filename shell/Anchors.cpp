#include "shell/Anchors.h"

#include <QEvent>
#include <QWidget>

namespace zv {

TAnchors::TAnchors(QWidget* parent) : QObject(parent), parent_(parent) { parent->installEventFilter(this); }

void TAnchors::Right(QWidget* control) { Add(control, false); }

void TAnchors::LeftRight(QWidget* control) { Add(control, true); }

void TAnchors::Add(QWidget* control, bool stretches) {
    anchored_.push_back({control, control->geometry(), parent_->width(), stretches});
}

void TAnchors::Update(QWidget* control) {
    for (TAnchored& a : anchored_) {
        if (a.control != control) continue;
        // Keep the right edge: the design rectangle takes the new size there.
        const int delta = parent_->width() - a.baseWidth;
        const QRect now = control->geometry();
        a.design = QRect(now.x() - delta, now.y(), now.width(), now.height());
    }
}

void TAnchors::Apply(const TAnchored& a) const {
    const int delta = parent_->width() - a.baseWidth;
    if (a.stretches)
        a.control->setGeometry(a.design.x(), a.design.y(), std::max(0, a.design.width() + delta), a.design.height());
    else
        a.control->move(a.design.x() + delta, a.design.y());
}

bool TAnchors::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent_ && event->type() == QEvent::Resize)
        for (const TAnchored& a : anchored_)
            if (a.control) Apply(a);
    return QObject::eventFilter(watched, event);
}

}  // namespace zv
