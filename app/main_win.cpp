#include <windows.h>

#include "app/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    return RunApplication(instance, commandLine);
}
