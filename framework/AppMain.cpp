// The program's entry point: hands over to the application object.
#include "framework/WinApp.h"

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow)
{
    return AfxWinMain(hInstance, nCmdShow);
}
