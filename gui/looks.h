#pragma once
// The looks the window offers, by the id kept under "ApplicationLook": the desktop's own style, a light
// and a dark one.

#include <QString>
#include <vector>

class QApplication;

namespace quenlow::gui {

struct Look {
    int id;
    QString name;
};

inline constexpr int kLookSystem = 210;
inline constexpr int kLookLight = 215;
inline constexpr int kLookDark = 216;
inline constexpr int kDefaultLook = kLookLight;

const std::vector<Look>& looks();
// Unknown ids read as the default look.
int known_look(int id);
// Applies a look to the whole application. The desktop's own style is the one the application started
// with.
void apply_look(QApplication& app, int id);

}  // namespace quenlow::gui
