// velmora: the substitute host application that loads the plug-ins.

#include "host/CPluginLoader.h"
#include "host/ListPlugins.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

void printUsage(std::ostream& out)
{
    out << "usage: velmora [--plugins DIR] [--list-plugins]\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::string pluginFolder;
    bool list = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--plugins" && i + 1 < argc)
            pluginFolder = argv[++i];
        else if (argument == "--list-plugins")
            list = true;
        else if (argument == "--help" || argument == "-h")
        {
            printUsage(std::cout);
            return 0;
        }
        else
        {
            std::cerr << "velmora: unknown argument '" << argument << "'\n";
            printUsage(std::cerr);
            return 2;
        }
    }
    if (pluginFolder.empty())
        pluginFolder = velmora::defaultPluginFolder();
    if (list)
    {
        velmora::listPlugins(pluginFolder, std::cout);
        return 0;
    }
    printUsage(std::cerr);
    return 2;
}
