#pragma once
// Draws the "Active" and "Visible" columns of the region grid: the native check box of a
// bool cell, as wxGridCellBoolRenderer draws it, from pictures kept after the first drawing.
// GTK's theme loads and parses its check mark image for every check box drawn outside a
// widget of its own, which made a repaint of the grid cost several milliseconds; the
// pictures are drawn by the same native renderer over the cell's background, so the cells
// look exactly as before.

#include <wx/bitmap.h>
#include <wx/grid.h>

#include <vector>

namespace tolvane {

class CCheckMarkRenderer : public wxGridCellBoolRenderer
{
public:
    CCheckMarkRenderer() = default;

    void Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect, int row, int col,
              bool isSelected) override;
    wxGridCellRenderer* Clone() const override { return new CCheckMarkRenderer; }

    //! The pictures kept so far (one for each state, background and size met).
    std::size_t getPictureCount() const { return m_pictures.size(); }

private:
    struct CPicture
    {
        bool checked;
        wxUint32 background;
        wxSize size;
        wxBitmap bitmap;
    };

    const wxBitmap& pictureFor(wxGrid& grid, bool checked, const wxColour& background, const wxSize& size);

    std::vector<CPicture> m_pictures;
};

} // namespace tolvane
