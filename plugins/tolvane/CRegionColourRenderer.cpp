#include "plugins/tolvane/CRegionColourRenderer.h"

#include <wx/dc.h>
#include <wx/gdicmn.h>

namespace tolvane {

void CRegionColourRenderer::Draw(wxGrid& grid, wxGridCellAttr&, wxDC& dc, const wxRect& rect, int row, int col,
                                 bool)
{
    dc.SetPen(*wxWHITE_PEN);
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(rect);

    const wxColour colour(grid.GetCellValue(row, col));
    const wxBrush* brush = colour.IsOk() ? wxTheBrushList->FindOrCreateBrush(colour, wxBRUSHSTYLE_SOLID) : nullptr;
    dc.SetBrush(brush ? *brush : *wxBLACK_BRUSH);
    dc.SetPen(*wxBLACK_PEN);
    wxRect swatch(rect);
    dc.DrawRectangle(swatch.Deflate(5));
}

wxSize CRegionColourRenderer::GetBestSize(wxGrid&, wxGridCellAttr&, wxDC&, int, int) { return wxSize(25, 20); }

} // namespace tolvane
