#pragma once
// Orders every window the first time it is shown, and again each time it is
// shown anew, so that windows laid out in code and from templates alike
// follow their screen. Installed on the application by the program.
#include <QObject>

class KTabOrderKeeper : public QObject {
public:
    using QObject::QObject;
    // Installs one keeper on the running application.
    static void Install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
