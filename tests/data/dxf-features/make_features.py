#!/usr/bin/python3
"""Writes the small DXF drawings of tests/data/dxf-features, one feature of
the format each, with python3-ezdxf. Run it from anywhere; it rewrites the
drawings beside itself. The import tests read the written files."""
import math
import os

import ezdxf

HERE = os.path.dirname(os.path.abspath(__file__))
DOWN = (0, 0, -1)


def save(doc, name):
    doc.saveas(os.path.join(HERE, name))


def lines_and_points():
    doc = ezdxf.new("R2000", units=4)
    msp = doc.modelspace()
    msp.add_line((0, 0), (3, 1))
    # Extrusion does not move a LINE or a POINT: their points are world points.
    msp.add_line((1, 2), (4, 3), dxfattribs={"extrusion": DOWN})
    msp.add_point((5, 5))
    msp.add_point((6, 5), dxfattribs={"extrusion": DOWN})
    save(doc, "lines-points.dxf")


def arcs_upside_down():
    doc = ezdxf.new("R2000", units=4)
    msp = doc.modelspace()
    msp.add_arc((2, 1), 1.5, 10, 100)
    msp.add_arc((2, 1), 1.0, 10, 100, dxfattribs={"extrusion": DOWN})
    msp.add_circle((5, 2), 0.5, dxfattribs={"extrusion": DOWN})
    msp.add_arc((8, 3), 2.0, 300, 45, dxfattribs={"extrusion": DOWN})
    save(doc, "arcs-extrusion.dxf")


def lwpolylines():
    doc = ezdxf.new("R2000", units=4)
    msp = doc.modelspace()
    # x, y, start width, end width, bulge
    msp.add_lwpolyline([(0, 0, 0, 0, 0.5), (4, 0, 0.1, 0.2, 0), (4, 3, 0, 0, -1), (0, 3, 0, 0, 0)],
                       format="xyseb", close=True)
    msp.add_lwpolyline([(6, 0), (9, 0), (9, 2)], dxfattribs={"elevation": 2.5, "const_width": 0.2})
    msp.add_lwpolyline([(10, 0, 0.4142), (12, 0, 0), (12, 2, -0.4142), (10, 2, 0)], format="xyb",
                       close=True, dxfattribs={"extrusion": DOWN})
    save(doc, "lwpolylines.dxf")


def polylines():
    doc = ezdxf.new("R12", units=4)
    msp = doc.modelspace()
    p = msp.add_polyline2d([(0, 0), (4, 0), (4, 3), (0, 3)], close=True)
    p.vertices[1].dxf.bulge = 1.0
    p.vertices[3].dxf.bulge = -0.5
    q = msp.add_polyline2d([(6, 0), (8, 0), (8, 2)], dxfattribs={"extrusion": DOWN})
    q.vertices[0].dxf.bulge = 0.5
    msp.add_polyline3d([(10, 0, 0), (12, 1, 3), (13, 3, -2)])
    # Curve-fit: the fitted vertices (flag 1) are the drawn curve.
    c = msp.add_polyline2d([], dxfattribs={"flags": 2})
    for x, y, f in [(0, 6, 0), (1, 7, 1), (2, 7.5, 0), (3, 7, 1), (4, 6, 0)]:
        c.append_vertex((x, y), dxfattribs={"flags": f})
    # Spline-fit: the curve is the fitted vertices (flag 8); the control
    # frame (flag 16) is not drawn.
    s = msp.add_polyline2d([], dxfattribs={"flags": 4})
    for x, y in [(6, 6), (8, 9), (10, 6)]:
        s.append_vertex((x, y), dxfattribs={"flags": 16})
    for k in range(9):
        t = k / 8
        x = (1 - t) ** 2 * 6 + 2 * t * (1 - t) * 8 + t * t * 10
        y = (1 - t) ** 2 * 6 + 2 * t * (1 - t) * 9 + t * t * 6
        s.append_vertex((x, y), dxfattribs={"flags": 8})
    save(doc, "polylines.dxf")


def curves():
    doc = ezdxf.new("R2000", units=4)
    msp = doc.modelspace()
    msp.add_ellipse((0, 0), major_axis=(3, 0), ratio=0.5)
    msp.add_ellipse((8, 0), major_axis=(2, 2), ratio=0.4, start_param=0.3, end_param=4.0)
    msp.add_spline_control_frame([(0, 5), (2, 8), (4, 5), (6, 8)])
    msp.add_spline([(0, 10), (2, 12), (4, 10), (6, 12)])
    closed = msp.add_open_spline([(10, 5), (12, 7), (14, 5), (12, 3), (10, 5)])
    closed.closed = True
    msp.add_rational_spline([(10, 10), (12, 12), (14, 10)], [1, 2, 1])
    save(doc, "curves.dxf")


def inserts():
    doc = ezdxf.new("R2000", units=4)
    inner = doc.blocks.new("INNER", base_point=(1, 1))
    inner.add_circle((2, 1), 0.25)
    inner.add_line((1, 1), (3, 1))
    outer = doc.blocks.new("OUTER", base_point=(-2, 0))
    outer.add_arc((0, 0), 1.0, 0, 90)
    outer.add_arc((0, 3), 0.5, 20, 160, dxfattribs={"extrusion": DOWN})
    outer.add_lwpolyline([(0, 0, 0.5), (2, 0, 0)], format="xyb")
    outer.add_blockref("INNER", (1, 2), dxfattribs={"rotation": 30, "xscale": 2, "yscale": 2})
    msp = doc.modelspace()
    msp.add_blockref("OUTER", (10, 10))
    msp.add_blockref("OUTER", (20, 10), dxfattribs={"rotation": 45})
    msp.add_blockref("OUTER", (30, 10), dxfattribs={"xscale": -1})
    msp.add_blockref("OUTER", (40, 10), dxfattribs={"yscale": -1.5, "xscale": 1.5, "rotation": 120})
    m = msp.add_blockref("INNER", (0, 30), dxfattribs={"rotation": 15})
    m.grid(size=(3, 4), spacing=(2.5, 1.5))
    msp.add_blockref("OUTER", (50, 10), dxfattribs={"extrusion": DOWN})
    save(doc, "inserts.dxf")


def other_entities():
    doc = ezdxf.new("R2000", units=4)
    msp = doc.modelspace()
    h = msp.add_hatch()
    h.paths.add_polyline_path([(0, 0), (2, 0), (2, 2)], is_closed=True)
    msp.add_solid([(3, 0), (5, 0), (3, 2), (5, 2)])
    msp.add_solid([(6, 0), (8, 0), (7, 2)])
    msp.add_trace([(9, 0), (11, 0), (9, 1), (11, 1)])
    msp.add_3dface([(12, 0, 0), (14, 0, 1), (14, 2, 0), (12, 2, 0)])
    msp.add_point((15, 1))
    msp.add_text("AB", dxfattribs={"height": 0.5, "insert": (0, 5)})
    msp.add_mtext("MTEXT", dxfattribs={"insert": (0, 7)})
    dim = msp.add_linear_dim(base=(0, 9), p1=(0, 8), p2=(4, 8))
    dim.render()
    save(doc, "other-entities.dxf")


def layers():
    doc = ezdxf.new("R2000", units=4)
    doc.layers.add("OUTLINE")
    doc.layers.add("HIDDEN").off()
    doc.layers.add("FROZEN").freeze()
    doc.layers.add("GR\u00dcN")
    msp = doc.modelspace()
    msp.add_line((0, 0), (1, 0), dxfattribs={"layer": "OUTLINE"})
    msp.add_line((0, 1), (1, 1), dxfattribs={"layer": "HIDDEN"})
    msp.add_line((0, 2), (1, 2), dxfattribs={"layer": "FROZEN"})
    msp.add_line((0, 3), (1, 3), dxfattribs={"layer": "GR\u00dcN"})
    save(doc, "layers.dxf")
    r12 = ezdxf.new("R12", units=4)
    r12.layers.add("GR\u00dcN")
    r12.modelspace().add_line((0, 3), (1, 3), dxfattribs={"layer": "GR\u00dcN"})
    r12.saveas(os.path.join(HERE, "layers-r12.dxf"), encoding="cp1252")


def upside_down_outlines():
    doc = ezdxf.new("R2000", units=4)
    msp = doc.modelspace()
    msp.add_solid([(3, 0), (5, 0), (3, 2), (5, 2)], dxfattribs={"extrusion": DOWN})
    msp.add_trace([(9, 0), (11, 0), (9, 1), (11, 1)], dxfattribs={"extrusion": DOWN})
    msp.add_text("AB", dxfattribs={"height": 0.5, "insert": (2, 5), "extrusion": DOWN})
    save(doc, "outlines-extrusion.dxf")


def layouts_and_attributes():
    doc = ezdxf.new("R2000", units=4)
    block = doc.blocks.new("PAD", base_point=(0, 0))
    block.add_circle((0, 0), 0.5)
    block.add_attdef("REF", (0.6, 0), dxfattribs={"height": 0.2})
    msp = doc.modelspace()
    pad = msp.add_blockref("PAD", (2, 2))
    pad.add_auto_attribs({"REF": "P1"})
    msp.add_line((0, 0), (4, 0))
    # The title block on the sheet is no part of the model.
    sheet = doc.layout("Layout1")
    sheet.add_line((0, 0), (297, 0))
    sheet.add_circle((100, 100), 20)
    mesh = msp.add_polyface()
    mesh.append_face([(0, 0, 0), (1, 0, 0), (1, 1, 1)])
    save(doc, "layouts-attributes.dxf")


if __name__ == "__main__":
    upside_down_outlines()
    layouts_and_attributes()
    lines_and_points()
    arcs_upside_down()
    lwpolylines()
    polylines()
    curves()
    inserts()
    other_entities()
    layers()
