#pragma once
// The table behind the region grid: one row per entry of the region colouring (storage
// entry 502), five columns "Id", "Active", "Color", "Name", "Visible". Reads and writes go
// to the colouring under its lock for the duration of one call; every write except to
// "Id" announces the colouring (invalidate, flags 0). The table observes entry 502 and
// tells its grid about appended or deleted rows and has it repaint the rows whose shown
// values changed (active row, colour, name, visibility), whichever plug-in changed the
// colouring; an announcement that changes nothing shown repaints nothing.
//
// Made by the panel with the plug-in's bindings (raises CNullAppBindings without bindings
// or storage) and handed to the grid, which owns it; destruction detaches the observer.

#include "data/CObjectObserver.h"
#include "data/CRegionColoring.h"
#include "plug/CAppBindings.h"

#include <wx/grid.h>

#include <string>
#include <vector>

namespace tolvane {

class CRegionGridTable : public wxGridTableBase,
                         public plug::CAppActor,
                         public data::CObjectObserver<data::CRegionColoring>
{
public:
    enum EColumn
    {
        COLUMN_ID,
        COLUMN_ACTIVE,
        COLUMN_COLOR,
        COLUMN_NAME,
        COLUMN_VISIBLE,
        COLUMN_COUNT
    };

    explicit CRegionGridTable(plug::CAppBindings* bindings);
    ~CRegionGridTable() override;

    int GetNumberRows() override;
    int GetNumberCols() override { return COLUMN_COUNT; }
    bool IsEmptyCell(int, int) override { return false; }
    wxString GetTypeName(int row, int col) override;
    bool CanGetValueAs(int row, int col, const wxString& typeName) override;

    //! "Id": the row index; "Active": "1" or "0"; "Color": "rgb(r,g,b)"; "Name": the name
    //! (UTF-8 in the table); "Visible": "1" or "0"; beyond: "Item(row;col)".
    wxString GetValue(int row, int col) override;
    //! "Active": any text but "0" makes the row active; "Color": a valid colour replaces
    //! red, green and blue (alpha stays), anything else is ignored; "Name": stored as UTF-8;
    //! "Visible": visible unless "0". "Id" is ignored.
    void SetValue(int row, int col, const wxString& value) override;
    bool GetValueAsBool(int row, int col) override;
    void SetValueAsBool(int row, int col, bool value) override;

    wxString GetRowLabelValue(int) override { return wxString(); }
    wxString GetColLabelValue(int col) override;

    //! Row count and active index as last shown to the grid.
    int getShownRows() const { return m_shownRows; }
    int getShownActive() const { return m_shownActive; }

protected:
    void objectChanged(data::CRegionColoring* coloring) override;

private:
    //! What the grid shows of one row, besides its index and whether it is active.
    struct CShownRow
    {
        data::CRegionColoring::CColor color;
        bool visible = true;
        std::string name;

        friend bool operator==(const CShownRow&, const CShownRow&) = default;
    };

    void refreshRow(int row);
    static std::vector<CShownRow> shownRows(const data::CRegionColoring& coloring);

    int m_shownRows = 0;
    int m_shownActive = 0;
    std::vector<CShownRow> m_shown;
};

} // namespace tolvane
