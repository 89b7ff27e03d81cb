#pragma once
// Local surgery on a mesh's incidence lists, for the refinement steps that move a triangle
// or an edge from one vertex to another without changing its place in its container.
//
// A detached triangle (or edge) is still in its container but in no vertex's list; it
// must be attached again (or destroyed) before the mesh is walked. Attaching pushes it at
// the front of each of its vertices' lists, as MCTriS::addTri and MCEdgeS::addEdge do.

#include <vector>

namespace vctl {
class MCEdge;
class MCTri;
class MCVertex;
}

namespace meshedit {

//! Replaces `into` by v's triangles, most recently attached first (vctl::triangles without
//! a new vector).
void trianglesOf(const vctl::MCVertex* v, std::vector<vctl::MCTri*>& into);

//! Unlinks t from the triangle lists of its three vertices.
void detachTri(vctl::MCTri* t);
//! Pushes t at the front of the triangle list of each of its vertices.
void attachTri(vctl::MCTri* t);
//! Gives a detached triangle the corners (a, b, c), vertices of its mesh.
void setCorners(vctl::MCTri* t, vctl::MCVertex* a, vctl::MCVertex* b, vctl::MCVertex* c);
//! Detaches t, replaces corner `from` by `to` (same corner index) and attaches it again.
void replaceCorner(vctl::MCTri* t, const vctl::MCVertex* from, vctl::MCVertex* to);

//! Unlinks e from the edge lists of its two vertices.
void detachEdge(vctl::MCEdge* e);
//! Pushes e at the front of the edge lists of both its vertices.
void attachEdge(vctl::MCEdge* e);
//! Gives a detached edge the ends (a, b), vertices of its mesh.
void setEnds(vctl::MCEdge* e, vctl::MCVertex* a, vctl::MCVertex* b);

} // namespace meshedit
