// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A panel framed by an outer and an inner one-pixel bevel, each raised or
// lowered, as the splash and about windows use.

#include <QWidget>

class BevelPanel : public QWidget {
public:
    enum class Bevel { Raised, Lowered };
    BevelPanel(Bevel outer, Bevel inner, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    Bevel outer_;
    Bevel inner_;
};
