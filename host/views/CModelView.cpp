#include "host/views/CModelView.h"

#include <osg/Geode>
#include <osg/LightModel>
#include <osgGA/TrackballManipulator>

#include <wx/dcclient.h>

#include <algorithm>

namespace velmora::views {

namespace {

wxGLAttributes displayAttributes()
{
    wxGLAttributes attributes;
    attributes.PlatformDefaults().RGBA().DoubleBuffer().Depth(24).EndList();
    if (wxGLCanvas::IsDisplaySupported(attributes))
        return attributes;
    wxGLAttributes fallback;
    fallback.PlatformDefaults().Defaults().EndList();
    return fallback;
}

int osgButton(const wxMouseEvent& event)
{
    switch (event.GetButton())
    {
    case wxMOUSE_BTN_LEFT: return 1;
    case wxMOUSE_BTN_MIDDLE: return 2;
    case wxMOUSE_BTN_RIGHT: return 3;
    default: return 0;
    }
}

} // namespace

const osg::Vec4 CModelView::BACKGROUND(0.11f, 0.12f, 0.16f, 1.0f);

CModelView::CModelView(wxWindow* parent)
    : wxGLCanvas(parent, displayAttributes(), wxID_ANY, wxDefaultPosition, wxSize(200, 200), wxFULL_REPAINT_ON_RESIZE),
      m_context(std::make_unique<wxGLContext>(this)),
      m_viewer(new osgViewer::Viewer),
      m_root(new osg::Group)
{
    SetName("3D");
    const wxSize size = GetClientSize();
    m_viewer->setThreadingModel(osgViewer::Viewer::SingleThreaded);
    m_window = m_viewer->setUpViewerAsEmbeddedInWindow(0, 0, std::max(size.x, 1), std::max(size.y, 1));
    m_viewer->getCamera()->setClearColor(BACKGROUND);
    m_viewer->setKeyEventSetsDone(0);
    m_viewer->setQuitEventSetsDone(false);
    auto* trackball = new osgGA::TrackballManipulator;
    trackball->setAllowThrow(false); // no animation between events
    m_viewer->setCameraManipulator(trackball);

    osg::StateSet* state = m_root->getOrCreateStateSet();
    osg::ref_ptr<osg::LightModel> lightModel = new osg::LightModel;
    lightModel->setTwoSided(true);
    state->setAttributeAndModes(lightModel.get());
    state->setMode(GL_LIGHTING, osg::StateAttribute::ON);
    m_viewer->setSceneData(m_root.get());

    Bind(wxEVT_PAINT, &CModelView::onPaint, this);
    Bind(wxEVT_SIZE, &CModelView::onSize, this);
    Bind(wxEVT_ERASE_BACKGROUND, [](wxEraseEvent&) {}); // the frame covers everything
    for (auto type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK, wxEVT_MIDDLE_DOWN, wxEVT_MIDDLE_UP,
                      wxEVT_MIDDLE_DCLICK, wxEVT_RIGHT_DOWN, wxEVT_RIGHT_UP, wxEVT_RIGHT_DCLICK, wxEVT_MOTION,
                      wxEVT_MOUSEWHEEL})
        Bind(type, &CModelView::onMouse, this);
}

CModelView::~CModelView()
{
    // GL objects are released while the context is current, where it can be.
    if (IsShownOnScreen())
        m_context->SetCurrent(*this);
    m_viewer = nullptr;
    m_window = nullptr;
}

void CModelView::setGeometry(osg::ref_ptr<osg::Geometry> geometry, bool home)
{
    m_root->removeChildren(0, m_root->getNumChildren());
    if (geometry)
    {
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(geometry.get());
        m_root->addChild(geode.get());
    }
    if (home && m_viewer->getCameraManipulator())
    {
        m_viewer->getCameraManipulator()->setNode(m_root.get());
        m_viewer->getCameraManipulator()->computeHomePosition();
        m_viewer->home();
    }
    Refresh(false);
}

bool CModelView::hasModel() const
{
    return m_root->getNumChildren() > 0;
}

void CModelView::renderNow()
{
    if (!IsShownOnScreen() || !m_viewer)
        return;
    if (!m_context->SetCurrent(*this))
        return;
    m_viewer->frame();
    SwapBuffers();
}

void CModelView::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this); // validates the region, whatever is drawn
    renderNow();
}

void CModelView::onSize(wxSizeEvent& event)
{
    const wxSize size = GetClientSize();
    const int width = std::max(size.x, 1), height = std::max(size.y, 1);
    m_window->resized(0, 0, width, height);
    m_window->getEventQueue()->windowResize(0, 0, width, height);
    Refresh(false);
    event.Skip();
}

void CModelView::onMouse(wxMouseEvent& event)
{
    osgGA::EventQueue* queue = m_window->getEventQueue();
    const float x = event.GetX(), y = event.GetY();
    if (event.GetEventType() == wxEVT_MOUSEWHEEL)
        queue->mouseScroll(event.GetWheelRotation() > 0 ? osgGA::GUIEventAdapter::SCROLL_UP
                                                        : osgGA::GUIEventAdapter::SCROLL_DOWN);
    else if (event.ButtonDown() || event.ButtonDClick())
    {
        SetFocus();
        queue->mouseButtonPress(x, y, osgButton(event));
    }
    else if (event.ButtonUp())
        queue->mouseButtonRelease(x, y, osgButton(event));
    else
        queue->mouseMotion(x, y);
    Refresh(false);
}

} // namespace velmora::views
