#pragma once
// One QApplication for the whole test program, created on first use on the offscreen
// platform (ctest sets it too; this covers running the program by hand).

class QApplication;

namespace tessaro::test {

QApplication& TestApplication();

}  // namespace tessaro::test
