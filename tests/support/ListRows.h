#pragma once

#include <QListWidget>
#include <QStringList>

namespace tw::test {

// The rows of a list control, top to bottom, as it shows them.
inline QStringList rows(const QListWidget& list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.item(i)->text();
    return out;
}

} // namespace tw::test
