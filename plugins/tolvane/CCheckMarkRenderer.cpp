#include "plugins/tolvane/CCheckMarkRenderer.h"

#include <wx/dc.h>
#include <wx/dcmemory.h>
#include <wx/renderer.h>

#include <algorithm>

namespace tolvane {

namespace {

// Enough for both states over the plain, selected and unfocused selection backgrounds at a
// few box sizes; past it the pictures start anew.
constexpr std::size_t MOST_PICTURES = 16;

int checkBoxFlags(bool checked)
{
    return wxCONTROL_CELL | (checked ? int(wxCONTROL_CHECKED) : 0);
}

bool checkedValue(wxGrid& grid, int row, int col)
{
    wxGridTableBase* table = grid.GetTable();
    if (table->CanGetValueAs(row, col, wxGRID_VALUE_BOOL))
        return table->GetValueAsBool(row, col);
    return wxGridCellBoolEditor::IsTrueValue(table->GetValue(row, col));
}

// The space between a box and the cell's edge it is aligned to.
constexpr int BOX_MARGIN = 2;
// The theme draws a little outside the box (its shadow); the pictures keep that much around it.
constexpr int PICTURE_BORDER = 4;

// Where a box of `length` starts along one axis of a cell: centred, at the far edge or at
// the near one, as `align` says.
int placeAlong(int align, int centre, int far, int start, int cellLength, int length)
{
    if (align & centre)
        return start + (cellLength - length) / 2;
    if (align & far)
        return start + cellLength - length - BOX_MARGIN;
    return start + BOX_MARGIN;
}

// Where the box lies in `cell`, as the grid's own bool cells place it: the box of `size`,
// square and shrunk to fit a cell too small for it, aligned as the cell says (left and
// vertically centred unless it says otherwise).
wxRect boxRect(wxGridCellAttr& attr, wxSize size, const wxRect& cell)
{
    const int room = std::min(cell.width, cell.height);
    if (size.x >= room || size.y >= room)
        size.x = size.y = std::max(1, room - 2 * BOX_MARGIN);
    int horizontal = wxALIGN_LEFT, vertical = wxALIGN_CENTRE_VERTICAL;
    attr.GetNonDefaultAlignment(&horizontal, &vertical);
    return wxRect(placeAlong(horizontal, wxALIGN_CENTRE_HORIZONTAL, wxALIGN_RIGHT, cell.x, cell.width, size.x),
                  placeAlong(vertical, wxALIGN_CENTRE_VERTICAL, wxALIGN_BOTTOM, cell.y, cell.height, size.y), size.x,
                  size.y);
}

} // namespace

void CCheckMarkRenderer::Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect, int row, int col,
                              bool isSelected)
{
    // The background as every cell has it; its brush is the colour the box is drawn over.
    wxGridCellRenderer::Draw(grid, attr, dc, rect, row, col, isSelected);
    const wxRect box = boxRect(attr, GetBestSize(grid, attr, dc, row, col), rect);
    const wxSize size = box.GetSize();
    const bool checked = checkedValue(grid, row, col);
    const wxColour background = dc.GetBrush().IsOk() ? dc.GetBrush().GetColour() : wxColour();
    const bool kept = background.IsOk() && background.Alpha() == wxALPHA_OPAQUE && dc.GetContentScaleFactor() == 1.0
                      && size.x > 0 && size.y > 0;
    if (!kept)
    {
        wxRendererNative::Get().DrawCheckBox(&grid, dc, box, checkBoxFlags(checked));
        return;
    }
    // (Clipped to the cell: the picture's border is the background, which may not reach
    // over a neighbour.)
    wxDCClipper clip(dc, rect);
    dc.DrawBitmap(pictureFor(grid, checked, background, size),
                  box.GetPosition() - wxPoint(PICTURE_BORDER, PICTURE_BORDER));
}

const wxBitmap& CCheckMarkRenderer::pictureFor(wxGrid& grid, bool checked, const wxColour& background,
                                               const wxSize& size)
{
    const wxUint32 colour = background.GetRGBA();
    for (const CPicture& picture : m_pictures)
        if (picture.checked == checked && picture.background == colour && picture.size == size)
            return picture.bitmap;
    if (m_pictures.size() >= MOST_PICTURES)
        m_pictures.clear();

    wxBitmap bitmap(size + wxSize(2 * PICTURE_BORDER, 2 * PICTURE_BORDER), 24);
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(wxBrush(background));
        dc.Clear();
        wxRendererNative::Get().DrawCheckBox(&grid, dc, wxRect(wxPoint(PICTURE_BORDER, PICTURE_BORDER), size),
                                             checkBoxFlags(checked));
    }
    m_pictures.push_back({checked, colour, size, bitmap});
    return m_pictures.back().bitmap;
}

} // namespace tolvane
