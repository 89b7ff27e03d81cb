#pragma once
// The 3D view: the surface model drawn by OpenSceneGraph in a wxGLCanvas through an
// embedded graphics window. Shaded (head light, both faces lit), turned and zoomed with a
// trackball: left drag rotates, middle drag pans, right drag and the wheel zoom. Frames
// are drawn on paint; nothing animates between events. Works with Mesa's software OpenGL
// under Xvfb. GUI thread only.

#include <osg/Geometry>
#include <osg/Group>
#include <osg/ref_ptr>
#include <osgViewer/GraphicsWindow>
#include <osgViewer/Viewer>

#include <wx/glcanvas.h>

#include <memory>

namespace velmora::views {

class CModelView : public wxGLCanvas
{
public:
    static const osg::Vec4 BACKGROUND;

    explicit CModelView(wxWindow* parent);
    ~CModelView() override;

    //! Shows `geometry` (null: nothing) instead of what was shown; `home` fits the camera
    //! to it.
    void setGeometry(osg::ref_ptr<osg::Geometry> geometry, bool home);
    //! True while a model is shown.
    bool hasModel() const;

    //! Draws one frame now when the window is on screen (e.g. before a screenshot).
    void renderNow();

private:
    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);
    void onMouse(wxMouseEvent& event);

    std::unique_ptr<wxGLContext> m_context;
    osg::ref_ptr<osgViewer::Viewer> m_viewer;
    osg::ref_ptr<osgViewer::GraphicsWindowEmbedded> m_window;
    osg::ref_ptr<osg::Group> m_root;
};

} // namespace velmora::views
