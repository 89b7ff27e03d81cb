#pragma once
// A plug-in panel in-process, on a storage set up as the host sets it up: the host's entries,
// a scene hub whose dialogs a test answers, the bindings and the panel, prepared and
// connected. Panel tests derive their fixture from it and call openPanel in SetUp.

#include "data/CStorableFactory.h"
#include "host/CHostData.h"
#include "plug/CAppBindings.h"
#include "plug/CAppSceneHub.h"
#include "plug/CDialogService.h"

#include "tests/support/CRecordingStorage.h"

#include <gtest/gtest.h>

#include <memory>

template <typename TPanel>
class CPanelFixture : public ::testing::Test
{
protected:
    //! Builds everything with `dialogs` as the hub's dialog service and the panel's
    //! identifiers from `idBase`; a panel that refuses to prepare or connect fails the test.
    void openPanel(plug::CDialogService& dialogs, int idBase)
    {
        velmora::CHostData::registerObjects(m_factory);
        m_storage = new CRecordingStorage(&m_factory);
        m_host = std::make_unique<velmora::CHostData>(*m_storage);
        m_host->createEntries();
        m_hub = new CAppSceneHub;
        m_hub->setDialogService(&dialogs);
        m_bindings = new plug::CAppBindings;
        m_bindings->setStorage(m_storage.get());
        m_bindings->setSceneHub(m_hub.get());
        m_adapter = new plug::CGuiAdapter;
        m_adapter->idBase = idBase;
        m_panel = new TPanel(m_adapter.get());
        m_panel->setBindings(m_bindings.get());
        ASSERT_TRUE(m_panel->prepare());
        ASSERT_TRUE(m_panel->connect());
    }

    void TearDown() override
    {
        delete m_panel;
        m_panel = nullptr;
        if (m_hub)
            m_hub->setDialogService(nullptr);
    }

    data::CStorableFactory m_factory;
    kvo::base::CRefPtr<CRecordingStorage> m_storage;
    std::unique_ptr<velmora::CHostData> m_host;
    kvo::base::CRefPtr<CAppSceneHub> m_hub;
    kvo::base::CRefPtr<plug::CAppBindings> m_bindings;
    kvo::base::CRefPtr<plug::CGuiAdapter> m_adapter;
    TPanel* m_panel = nullptr;
};
