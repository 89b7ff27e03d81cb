// Script commands on the data set: load, slice, undo, redo, and labels and models in and out.

#include "host/CDataExchange.h"
#include "host/CHostData.h"
#include "host/CMainFrame.h"
#include "host/CScriptRunner.h"
#include "host/CVelmoraHost.h"
#include "host/DataSources.h"
#include "host/script/ScriptSupport.h"

namespace velmora {

using namespace script;

void CScriptRunner::commandLoad(const std::vector<std::string>& words)
{
    needWords(words, 2, 9, "load phantom [X Y Z] | load dicom DIR | load nifti FILE | load raw FILE X Y Z [DX DY DZ]");
    import::CLoadedVolume volume = loadSource(std::vector<std::string>(words.begin() + 1, words.end()));
    for (const std::string& warning : volume.warnings)
        m_err << "warning: " << warning << std::endl;
    m_data.takeDataSet(volume);
}

void CScriptRunner::commandSlice(const std::vector<std::string>& words)
{
    needWords(words, 3, 3, "slice xy|xz|yz N");
    const long long index = parseInteger(words[2]);
    if (!m_data.hasData())
        fail("no data set is loaded");
    const auto size = m_data.getDimensions();
    const int axis = words[1] == "xy" ? 2 : words[1] == "xz" ? 1 : words[1] == "yz" ? 0 : -1;
    if (axis < 0)
        fail("usage: slice xy|xz|yz N");
    if (index < 0 || index >= size[axis])
        fail("slice " + words[2] + " is outside the volume (0 to " + std::to_string(size[axis] - 1) + ")");
    if (!m_frame.showSlice(axis, static_cast<int>(index)))
        fail("no view shows " + words[1] + " slices");
}

void CScriptRunner::commandHistory(const std::vector<std::string>& words)
{
    needWords(words, 1, 1, words[0] == "undo" ? "undo" : "redo");
    if (!(words[0] == "undo" ? m_data.undo() : m_data.redo()))
        fail(std::string("nothing to ") + words[0]);
}

void CScriptRunner::commandExchange(const std::vector<std::string>& words)
{
    const char* usage = "export labels FILE.nii[.gz] | import labels FILE.nii[.gz] | export model FILE.stl";
    needWords(words, 3, 3, usage);
    CDataExchange exchange(m_host.getStorage(), m_data);
    if (words[0] == "export" && words[1] == "labels")
        exchange.exportLabels(words[2]);
    else if (words[0] == "import" && words[1] == "labels")
    {
        for (const std::string& warning : exchange.importLabels(words[2]))
            m_err << "warning: " << warning << std::endl;
    }
    else if (words[0] == "export" && words[1] == "model")
        exchange.exportModel(words[2]);
    else
        fail(std::string("usage: ") + usage);
}

} // namespace velmora
