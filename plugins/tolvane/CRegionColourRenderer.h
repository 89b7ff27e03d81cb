#pragma once
// Draws the "Color" column of the region grid: a white cell with a black-framed swatch of
// the cell's colour ("rgb(r,g,b)" text of the table), 5 pixels inside the cell on every
// side. A value that is not a colour gives a black swatch.

#include <wx/grid.h>

namespace tolvane {

class CRegionColourRenderer : public wxGridCellRenderer
{
public:
    CRegionColourRenderer() = default;

    void Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect, int row, int col,
              bool isSelected) override;
    //! 25 x 20 pixels.
    wxSize GetBestSize(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, int row, int col) override;
    wxGridCellRenderer* Clone() const override { return new CRegionColourRenderer; }
};

} // namespace tolvane
