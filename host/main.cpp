// velmora: the substitute host application that loads the plug-ins.

#include "host/CPluginLoader.h"
#include "host/CVelmoraApp.h"
#include "host/ListPlugins.h"
#include "toolkit/sys/MemoryLimit.h"

#include <wx/app.h>

#include <cstdint>
#include <iostream>
#include <string>

namespace {

void printUsage(std::ostream& out)
{
    out << "usage: velmora [--plugins DIR] [--data SOURCE] [--script FILE] [--timings] [--progress]\n"
           "               [--max-memory SIZE] [--list-plugins]\n"
           "  SIZE: bytes, or a number with K, M, G or T (default: the physical memory)\n"
           "  SOURCE: phantom[:XxYxZ] | dicom:DIR | nifti:FILE | raw:FILE:XxYxZ[:DX,DY,DZ]\n";
}

} // namespace

int main(int argc, char** argv)
{
    velmora::CAppOptions options;
    bool list = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
            {
                std::cerr << "velmora: " << argument << " needs a value\n";
                printUsage(std::cerr);
                std::exit(2);
            }
            return argv[++i];
        };
        if (argument == "--plugins")
            options.pluginFolder = value();
        else if (argument == "--data")
            options.dataSource = value();
        else if (argument == "--script")
            options.scriptFile = value();
        else if (argument == "--timings")
            options.timings = true;
        else if (argument == "--progress")
            options.progress = true;
        else if (argument == "--max-memory")
        {
            std::uint64_t bytes = 0;
            const std::string text = value();
            if (!kvo::sys::parseMemorySize(text, bytes))
            {
                std::cerr << "velmora: --max-memory needs a size such as 8G, 512M or a byte count, got '" << text << "'\n";
                return 2;
            }
            kvo::sys::setMemoryLimit(bytes);
        }
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
    if (options.pluginFolder.empty())
        options.pluginFolder = velmora::defaultPluginFolder();
    if (list)
    {
        velmora::listPlugins(options.pluginFolder, std::cout);
        return 0;
    }
    // The application object is created here so that it can take the options.
    wxApp::SetInstance(new velmora::CVelmoraApp(options));
    return wxEntry(argc, argv);
}
