#include "plugins/tolvane/CRegionGridTable.h"

#include "data/CDataStorage.h"
#include "data/CObjectPtr.h"
#include "data/StorageEntries.h"

#include <algorithm>

#include <wx/colour.h>
#include <wx/intl.h>

namespace tolvane {

using namespace data::entries;

namespace {

constexpr int REQUEST = data::CDataStorage::REQUEST_CREATE | data::CDataStorage::REQUEST_UPDATE;

using tColoringPtr = data::CObjectPtr<data::CRegionColoring>;

// Looked up once, when the library is loaded.
const wxString columnLabels[CRegionGridTable::COLUMN_COUNT] = {
    wxGetTranslation("Id"), wxGetTranslation("Active"), wxGetTranslation("Color"), wxGetTranslation("Name"),
    wxGetTranslation("Visible")};

bool isBoolColumn(int col) { return col == CRegionGridTable::COLUMN_ACTIVE || col == CRegionGridTable::COLUMN_VISIBLE; }

} // namespace

CRegionGridTable::CRegionGridTable(plug::CAppBindings* bindings)
{
    setBindings(bindings);
    data::CDataStorage& storage = getBindings().getStorage();
    storage.connectObserver(ENTRY_REGION_COLORING, this);
    tColoringPtr coloring(storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    m_shownRows = coloring->getCount();
    m_shownActive = coloring->getActive();
    m_shown = shownRows(*coloring);
}

std::vector<CRegionGridTable::CShownRow> CRegionGridTable::shownRows(const data::CRegionColoring& coloring)
{
    std::vector<CShownRow> rows(coloring.getCount());
    for (int row = 0; row < coloring.getCount(); ++row)
        rows[row] = {coloring.getColor(row), coloring.isVisible(row), coloring.getName(row)};
    return rows;
}

CRegionGridTable::~CRegionGridTable() = default;

int CRegionGridTable::GetNumberRows()
{
    return tColoringPtr(getBindings().getStorage().getEntry(ENTRY_REGION_COLORING, REQUEST))->getCount();
}

wxString CRegionGridTable::GetTypeName(int, int col)
{
    if (isBoolColumn(col))
        return wxGRID_VALUE_BOOL;
    if (col >= 0 && col < COLUMN_COUNT)
        return wxGRID_VALUE_STRING;
    return wxString();
}

bool CRegionGridTable::CanGetValueAs(int, int col, const wxString& typeName)
{
    if (typeName == wxGRID_VALUE_STRING)
        return true;
    return typeName == wxGRID_VALUE_BOOL && isBoolColumn(col);
}

wxString CRegionGridTable::GetValue(int row, int col)
{
    if (col == COLUMN_ID)
        return wxString::Format("%d", row);
    if (col < 0 || col >= COLUMN_COUNT)
        return wxString::Format("Item(%d;%d)", row, col);
    tColoringPtr coloring(getBindings().getStorage().getEntry(ENTRY_REGION_COLORING, REQUEST));
    switch (col)
    {
    case COLUMN_ACTIVE:
        return row == coloring->getActive() ? "1" : "0";
    case COLUMN_COLOR: {
        const data::CRegionColoring::CColor& color = coloring->getColor(row);
        return wxString::Format("rgb(%d,%d,%d)", color.red, color.green, color.blue);
    }
    case COLUMN_NAME:
        return wxString::FromUTF8(coloring->getName(row));
    default:
        return coloring->isVisible(row) ? "1" : "0";
    }
}

void CRegionGridTable::SetValue(int row, int col, const wxString& value)
{
    if (col == COLUMN_ID)
        return;
    data::CDataStorage& storage = getBindings().getStorage();
    tColoringPtr coloring(storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    switch (col)
    {
    case COLUMN_ACTIVE:
        if (value != "0")
            coloring->setActive(row);
        break;
    case COLUMN_COLOR: {
        const wxColour colour(value);
        if (colour.IsOk())
            coloring->setRGB(row, colour.Red(), colour.Green(), colour.Blue());
        break;
    }
    case COLUMN_NAME:
        coloring->setName(row, value.utf8_string());
        break;
    case COLUMN_VISIBLE:
        coloring->setVisible(row, value != "0");
        break;
    default:
        break;
    }
    storage.invalidate(coloring.getEntry(), 0);
}

bool CRegionGridTable::GetValueAsBool(int row, int col)
{
    if (!isBoolColumn(col))
        return false;
    tColoringPtr coloring(getBindings().getStorage().getEntry(ENTRY_REGION_COLORING, REQUEST));
    return col == COLUMN_VISIBLE ? coloring->isVisible(row) : row == coloring->getActive();
}

void CRegionGridTable::SetValueAsBool(int row, int col, bool value)
{
    if (col != COLUMN_VISIBLE && !(col == COLUMN_ACTIVE && value))
        return;
    data::CDataStorage& storage = getBindings().getStorage();
    tColoringPtr coloring(storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    if (col == COLUMN_VISIBLE)
        coloring->setVisible(row, value);
    else
        coloring->setActive(row);
    storage.invalidate(coloring.getEntry(), 0);
}

wxString CRegionGridTable::GetColLabelValue(int col)
{
    return col >= 0 && col < COLUMN_COUNT ? columnLabels[col] : wxString();
}

void CRegionGridTable::objectChanged(data::CRegionColoring* coloring)
{
    // The shown figures follow the colouring also while no grid is attached, so that the
    // grid that attaches later is told only about later changes.
    wxGrid* grid = GetView();
    const int rows = coloring->getCount();
    if (rows != m_shownRows)
    {
        if (grid)
        {
            if (rows > m_shownRows)
            {
                wxGridTableMessage message(this, wxGRIDTABLE_NOTIFY_ROWS_APPENDED, rows - m_shownRows);
                grid->ProcessTableMessage(message);
            }
            else
            {
                wxGridTableMessage message(this, wxGRIDTABLE_NOTIFY_ROWS_DELETED, rows, m_shownRows - rows);
                grid->ProcessTableMessage(message);
            }
            // Whatever moved up or down is drawn afresh.
            grid->ForceRefresh();
        }
        m_shownRows = rows;
    }
    const int active = coloring->getActive();
    if (active != m_shownActive)
    {
        const int previous = m_shownActive;
        m_shownActive = active;
        refreshRow(active);
        refreshRow(previous);
    }
    // Names, colours and visibility change without a change of rows or of the active row
    // ("RESET" over a renamed table, another plug-in, the host's undo): those rows are
    // drawn afresh, or the grid goes on showing the old values. Rows that show the same
    // as before are left alone (a new data set announces an unchanged table).
    std::vector<CShownRow> shown = shownRows(*coloring);
    const std::size_t common = std::min(shown.size(), m_shown.size());
    for (std::size_t row = 0; row < common; ++row)
        if (!(shown[row] == m_shown[row]))
            refreshRow(int(row));
    m_shown.swap(shown);
}

void CRegionGridTable::refreshRow(int row)
{
    wxGrid* grid = GetView();
    if (grid && row >= 0 && row < grid->GetNumberRows())
        grid->RefreshBlock(row, 0, row, COLUMN_COUNT - 1);
}

} // namespace tolvane
