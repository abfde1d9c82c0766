#include "cvorlaine_app.h"

int main(int argc, char** argv)
{
    CVorlaineApp theApp;
    return theApp.InitInstance(argc, argv);
}
