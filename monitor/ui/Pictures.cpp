#include "Pictures.h"

#include <QPainter>
#include <QPixmap>

// Resources of a static library must be registered by name from outside any namespace.
static void RegisterPictures() {
    static const bool done = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    (void)done;
}

namespace Pictures {

QIcon AgentState(int state) {
    RegisterPictures();
    if (state < 1 || state > 4) {
        state = 4;
    }
    return QIcon(QStringLiteral(":/quillht/state-%1.svg").arg(state));
}

QIcon Tool(const QString& name) {
    RegisterPictures();
    return QIcon(QStringLiteral(":/quillht/tool-%1.svg").arg(name));
}

QIcon Indeterminate(const QIcon& icon, int size) {
    const QPixmap grey = icon.pixmap(size, size, QIcon::Disabled);
    QPixmap faded(grey.size());
    faded.setDevicePixelRatio(grey.devicePixelRatio());
    faded.fill(Qt::transparent);
    {
        QPainter p(&faded);
        p.setOpacity(0.55);
        p.drawPixmap(0, 0, grey);
    }
    QIcon out;
    out.addPixmap(faded, QIcon::Normal);
    out.addPixmap(faded, QIcon::Active);
    out.addPixmap(grey, QIcon::Disabled);
    return out;
}

QIcon Application() {
    RegisterPictures();
    return QIcon(QStringLiteral(":/quillht/quillht.svg"));
}

} // namespace Pictures
