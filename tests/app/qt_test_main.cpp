// Entry point of the program's widget tests: the program's application object on the offscreen
// platform for the whole executable, then every gtest case on the GUI thread.
#include "app/tapwedge_application.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tapwedge::app::TapwedgeApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
