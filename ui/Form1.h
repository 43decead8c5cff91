#pragma once

#include <QMainWindow>

namespace tw {

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
};

} // namespace tw
