// The one application object, constructed by static initialisation before
// the framework's entry code runs.
#include "app/UpdateApp.h"

CUpdateApp theApp;
