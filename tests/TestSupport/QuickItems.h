#pragma once

#include <QList>
#include <QQuickItem>
#include <QString>

#include <algorithm>

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

// Every visible item of that object name below `root`, top to bottom on screen (a list view's
// delegates are not kept in row order among its children).
inline QList<QQuickItem *> findAllVisible(QQuickItem *root, const char *name)
{
    QList<QQuickItem *> found;
    if (!root || !root->isVisible()) {
        return found;
    }
    if (root->objectName() == QLatin1String(name)) {
        found.append(root);
    }
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        found.append(findAllVisible(child, name));
    }
    std::stable_sort(found.begin(), found.end(), [](QQuickItem *a, QQuickItem *b) {
        return a->mapToScene(QPointF()).y() < b->mapToScene(QPointF()).y();
    });
    return found;
}
