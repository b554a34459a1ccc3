#pragma once

#include <QQuickItem>
#include <QString>

// The first visible item of that object name below `root`, searched through the visual tree:
// repeater, instantiator and menu entries hang there, not always in the object tree.
inline QQuickItem *findVisible(QQuickItem *root, const QString &name)
{
    if (!root) {
        return nullptr;
    }
    if (root->objectName() == name && root->isVisible()) {
        return root;
    }
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findVisible(child, name)) {
            return found;
        }
    }
    return nullptr;
}
