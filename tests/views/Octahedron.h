#pragma once
// A regular octahedron drawn by hand: six vertices, eight triangles counter-clockwise seen
// from outside.

#include "vctl/MCTriS.h"

#include <memory>

inline std::unique_ptr<vctl::MCTriS> makeOctahedron(double cx, double cy, double cz, double radius)
{
    auto mesh = std::make_unique<vctl::MCTriS>();
    vctl::MCVerticeS& vertices = mesh->getVertices();
    vctl::MCVertex* px = vertices.addVertex(cx + radius, cy, cz);
    vctl::MCVertex* nx = vertices.addVertex(cx - radius, cy, cz);
    vctl::MCVertex* py = vertices.addVertex(cx, cy + radius, cz);
    vctl::MCVertex* ny = vertices.addVertex(cx, cy - radius, cz);
    vctl::MCVertex* pz = vertices.addVertex(cx, cy, cz + radius);
    vctl::MCVertex* nz = vertices.addVertex(cx, cy, cz - radius);
    mesh->addTri(px, py, pz);
    mesh->addTri(py, nx, pz);
    mesh->addTri(nx, ny, pz);
    mesh->addTri(ny, px, pz);
    mesh->addTri(py, px, nz);
    mesh->addTri(nx, py, nz);
    mesh->addTri(ny, nx, nz);
    mesh->addTri(px, ny, nz);
    return mesh;
}
