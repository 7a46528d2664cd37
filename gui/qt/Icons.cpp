// The one loader of the window's icons.
#include "gui/qt/Icons.h"

#include <QtGlobal>

// The icons are resources of a static library: registered explicitly, since the
// linker would otherwise drop their unreferenced initialiser.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace rm {

QIcon IconImage(IconId icon) {
    static const bool registered = (InitIconResources(), true);
    Q_UNUSED(registered);
    const char* name = icon == IconId::Picture1   ? "picture1"
                       : icon == IconId::Picture2 ? "picture2"
                       : icon == IconId::Window   ? "window"
                                                  : nullptr;
    QIcon image;
    if (!name) return image;
    for (int size : {16, 24, 32, 48}) {
        image.addFile(QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(name)).arg(size),
                      QSize(size, size));
    }
    return image;
}

}  // namespace rm
