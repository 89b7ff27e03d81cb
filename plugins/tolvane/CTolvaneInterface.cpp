#include "plugins/tolvane/CTolvaneInterface.h"

#include "data/CDataStorage.h"
#include "data/StorageEntries.h"
#include "plugins/tolvane/CTolvaneMenu.h"
#include "plugins/tolvane/CTolvanePanel.h"

#include <new>

namespace tolvane {

using namespace data::entries;

CTolvaneInterface::~CTolvaneInterface()
{
    if (m_dataSetConnection.signal)
        m_dataSetConnection.signal->disconnect(m_dataSetConnection.id);
}

plug::CPluginPanel* CTolvaneInterface::createPanel(plug::CGuiAdapter* adapter)
{
    return adapter ? new (std::nothrow) CTolvanePanel(adapter) : nullptr;
}

plug::CPluginMenu* CTolvaneInterface::createMenu(plug::CGuiAdapter* adapter)
{
    return adapter ? new (std::nothrow) CTolvaneMenu(adapter) : nullptr;
}

bool CTolvaneInterface::connect(void* host)
{
    if (!CPluginInterface::connect(host))
        return false;
    bindMenuCommand(17, [this](wxCommandEvent& event) { onLoad(event); });
    bindMenuCommand(18, [this](wxCommandEvent& event) { onSave(event); });
    bindMenuCommand(19, [this](wxCommandEvent& event) { onSaveAs(event); });
    m_dataSetConnection = getBindings().getStorage().getEntrySignal(ENTRY_DATA_SET_LIST).connect(
        kvo::base::CFunctor<void, data::CStorageEntry*>(this, &CTolvaneInterface::onDataSetListChanged));
    return true;
}

void CTolvaneInterface::onDataSetListChanged(data::CStorageEntry*) { m_currentFile.clear(); }

// The segmentation file commands arrive with the file format.
void CTolvaneInterface::onLoad(wxCommandEvent& event) { event.Skip(); }
void CTolvaneInterface::onSave(wxCommandEvent& event) { event.Skip(); }
void CTolvaneInterface::onSaveAs(wxCommandEvent& event) { event.Skip(); }

} // namespace tolvane
