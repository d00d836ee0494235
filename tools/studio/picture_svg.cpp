// Reading a picture source: an SVG file whose shapes are filled with the
// page's palette colours, stacked in painting order. libxml2 reads the file
// and a first walk over it checks what the game cannot show (text, images,
// strokes, see-through shapes...) and drops hidden parts; SVG++ then turns the
// shapes, their paths and transforms into events, and the shapes are
// flattened into rings in canvas coordinates (300 SVG units = 30 canvas
// units, y upwards).
#include "tools/studio/pictures.h"
#include "tools/studio/studio.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <svgpp/policy/xml/libxml2.hpp>
#include <svgpp/svgpp.hpp>

#include <boost/mpl/set.hpp>

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

enum SvgFillKind { SVG_FILL_UNSET, SVG_FILL_NONE, SVG_FILL_COLOUR, SVG_FILL_OTHER };

// What an element passes on to its children, and what it is.
struct SvgState {
    double matrix[6];                 // user space to SVG canvas space: a b c d e f
    SvgFillKind fillKind;
    int fill;                         // 0xRRGGBB when fillKind is SVG_FILL_COLOUR
    PictureFillRule fillRule;
    PictureLayer layer;
    bool shape;                       // a path or basic shape, not a group
    std::string name;
};

// One path command in the element's own coordinates: M, L, C (three points) or Z.
struct SvgCommand {
    char kind;
    double p[6];
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const char* const kSvgNamespace = "http://www.w3.org/2000/svg";
static const double kSvgSize = 300.0;   // the viewBox side; the canvas is a tenth of it

// Elements that hold shapes or only describe the file.
static const char* const kShapeElements[] = {"g", "path", "rect", "circle", "ellipse", "polygon", "polyline"};
static const char* const kQuietElements[] = {"title", "desc", "metadata", "defs"};

// Why other elements cannot be part of a picture.
struct SvgRefusal {
    const char* element;
    const char* reason;
};
static const SvgRefusal kRefusals[] = {
    {"text", "text is not shown: draw letters as shapes (Inkscape: Path > Object to Path)"},
    {"image", "bitmaps are not read: trace them into shapes"},
    {"use", "clones are not read: unlink them (Inkscape: Edit > Clone > Unlink Clone)"},
    {"line", "a line has no area: draw a thin filled shape instead"},
    {"svg", "nested <svg> elements are not read: ungroup them"},
    {"a", "links are not read: ungroup them"},
    {"switch", "conditional content is not read"},
    {"style", "style sheets are not read: give each shape its own fill"},
    {"clipPath", "clipping is not read: cut the shapes themselves"},
    {"mask", "masks are not read: cut the shapes themselves"},
};

// ---------------------------------------------------------------------------
// Internal helpers: text and messages
// ---------------------------------------------------------------------------

static std::string attributeText(const xmlNode* node, const char* name, const char* nsHref = nullptr) {
    xmlChar* value = nsHref ? xmlGetNsProp(node, BAD_CAST name, BAD_CAST nsHref) : xmlGetNoNsProp(node, BAD_CAST name);
    if (!value) return std::string();
    std::string text = (const char*)value;
    xmlFree(value);
    return text;
}

static std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

// How messages name an element: <path id="roof"> (line 12).
static std::string elementName(const xmlNode* node) {
    std::string id = attributeText(node, "id");
    std::string name = "<" + std::string((const char*)node->name);
    if (!id.empty()) name += " id=\"" + id + "\"";
    return name + studioFormat("> (line %d)", (int)xmlGetLineNo(node));
}

static bool isSvgElement(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           strcmp((const char*)node->ns->href, kSvgNamespace) == 0;
}

static bool nameIn(const xmlNode* node, const char* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (strcmp((const char*)node->name, names[i]) == 0) return true;
    return false;
}

// The value of a presentation property: the style attribute wins over the attribute of that name.
static std::string propertyValue(const xmlNode* node, const char* property) {
    std::string style = attributeText(node, "style");
    std::string found;
    bool inStyle = false;
    size_t start = 0;
    while (start <= style.size()) {
        size_t end = style.find(';', start);
        if (end == std::string::npos) end = style.size();
        std::string declaration = style.substr(start, end - start);
        size_t colon = declaration.find(':');
        if (colon != std::string::npos && trimmed(declaration.substr(0, colon)) == property) {
            found = trimmed(declaration.substr(colon + 1));
            inStyle = true;
        }
        start = end + 1;
    }
    if (inStyle) return found;
    return trimmed(attributeText(node, property));
}

static bool parseNumber(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = strtod(text.c_str(), &end);
    while (end && (*end == ' ' || *end == '%')) ++end;
    return end && *end == '\0';
}

static bool hasToken(const std::string& list, const char* token) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of(" \t\r\n", start);
        if (end == std::string::npos) end = list.size();
        if (list.compare(start, end - start, token) == 0) return true;
        start = end + 1;
    }
    return false;
}

static bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

static std::string lowerCase(std::string text) {
    for (char& c : text) c = (char)tolower((unsigned char)c);
    return text;
}

// The variants an element is marked for: class "detailed" or "normal", an id or an
// Inkscape layer name starting with either word, in any case.
static PictureLayer markedLayer(const xmlNode* node) {
    std::string classes = lowerCase(attributeText(node, "class"));
    std::string id = lowerCase(attributeText(node, "id"));
    std::string label = lowerCase(attributeText(node, "label", "http://www.inkscape.org/namespaces/inkscape"));
    if (hasToken(classes, "detailed") || startsWith(id, "detailed") || startsWith(label, "detailed"))
        return LAYER_DETAILED_ONLY;
    if (hasToken(classes, "normal") || startsWith(id, "normal") || startsWith(label, "normal")) return LAYER_NORMAL_ONLY;
    return LAYER_BOTH;
}

// ---------------------------------------------------------------------------
// Internal helpers: the first walk
// ---------------------------------------------------------------------------

static void refuse(PictureSource* source, const xmlNode* node, const std::string& why) {
    source->errors.push_back(source->fileName + ": " + elementName(node) + ": " + why);
}

// Checks the properties the game cannot show; false when the element is hidden.
static bool checkProperties(PictureSource* source, const xmlNode* node) {
    std::string display = propertyValue(node, "display");
    std::string visibility = propertyValue(node, "visibility");
    if (display == "none" || visibility == "hidden" || visibility == "collapse") return false;

    std::string stroke = propertyValue(node, "stroke");
    double width = 1.0, strokeOpacity = 1.0;
    bool noWidth = parseNumber(propertyValue(node, "stroke-width"), &width) && width == 0.0;
    bool clear = parseNumber(propertyValue(node, "stroke-opacity"), &strokeOpacity) && strokeOpacity == 0.0;
    if (!stroke.empty() && stroke != "none" && !noWidth && !clear)
        refuse(source, node,
               "has a stroke (" + stroke + "): strokes are not drawn, the builder draws every outline itself; "
               "draw thick lines as filled shapes");
    static const char* const kOpacities[] = {"opacity", "fill-opacity"};
    for (const char* property : kOpacities) {
        double opacity = 1.0;
        std::string text = propertyValue(node, property);
        if (!text.empty() && (!parseNumber(text, &opacity) || opacity < 1.0))
            refuse(source, node, std::string("is see-through (") + property + " " + text +
                                     "): every shape must be fully opaque");
    }
    static const char* const kEffects[] = {"clip-path", "mask", "filter"};
    for (const char* property : kEffects) {
        std::string text = propertyValue(node, property);
        if (!text.empty() && text != "none")
            refuse(source, node, std::string("uses ") + property + ", which is not read: cut the shapes themselves");
    }
    return true;
}

// Walks the element tree: refuses what cannot be shown, unlinks hidden elements.
static void checkElements(PictureSource* source, xmlNode* parent) {
    xmlNode* child = parent->children;
    while (child) {
        xmlNode* next = child->next;
        if (isSvgElement(child)) {
            if (nameIn(child, kQuietElements, sizeof kQuietElements / sizeof *kQuietElements)) {
                // descriptions and definitions draw nothing by themselves
            } else if (nameIn(child, kShapeElements, sizeof kShapeElements / sizeof *kShapeElements)) {
                if (!checkProperties(source, child)) {
                    xmlUnlinkNode(child);
                    xmlFreeNode(child);
                } else {
                    checkElements(source, child);
                }
            } else {
                const char* reason = "this element is not read: only groups, paths, rectangles, circles, ellipses, "
                                     "polygons and polylines are";
                for (const SvgRefusal& refusal : kRefusals)
                    if (strcmp((const char*)child->name, refusal.element) == 0) reason = refusal.reason;
                refuse(source, child, reason);
            }
        }
        child = next;
    }
}

// Checks the root element: SVG namespace and the 300 x 300 view box.
static bool checkRoot(PictureSource* source, const xmlNode* root) {
    if (!root || !isSvgElement(root) || strcmp((const char*)root->name, "svg") != 0) {
        source->errors.push_back(source->fileName +
                                 ": the root element must be <svg xmlns=\"http://www.w3.org/2000/svg\" "
                                 "viewBox=\"0 0 300 300\">");
        return false;
    }
    std::string viewBox = attributeText(root, "viewBox");
    for (char& c : viewBox)
        if (c == ',') c = ' ';
    double v[4] = {-1, -1, -1, -1};
    int n = sscanf(viewBox.c_str(), "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]);
    if (n != 4 || v[0] != 0.0 || v[1] != 0.0 || v[2] != kSvgSize || v[3] != kSvgSize) {
        source->errors.push_back(source->fileName + ": the <svg> element needs viewBox=\"0 0 300 300\" (it has \"" +
                                 attributeText(root, "viewBox") + "\")");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Internal helpers: geometry
// ---------------------------------------------------------------------------

static void multiply(const double a[6], const double b[6], double out[6]) {
    double r[6] = {a[0] * b[0] + a[2] * b[1],        a[1] * b[0] + a[3] * b[1],
                   a[0] * b[2] + a[2] * b[3],        a[1] * b[2] + a[3] * b[3],
                   a[0] * b[4] + a[2] * b[5] + a[4], a[1] * b[4] + a[3] * b[5] + a[5]};
    memcpy(out, r, sizeof r);
}

// From the element's coordinates to the canvas: its matrix, then 300 SVG units to 30, y flipped.
static PicturePoint toCanvas(const double m[6], double x, double y) {
    double sx = m[0] * x + m[2] * y + m[4];
    double sy = m[1] * x + m[3] * y + m[5];
    return PicturePoint{sx * 30.0 / kSvgSize, 30.0 - sy * 30.0 / kSvgSize};
}

// Appends a cubic curve's points after its start, in enough even steps that no
// point of the curve is farther than the flatness from the polyline.
static void flattenCubic(PicturePoint p0, PicturePoint p1, PicturePoint p2, PicturePoint p3, PictureRing* ring) {
    double ddx = std::max(std::fabs(p0.x - 2 * p1.x + p2.x), std::fabs(p1.x - 2 * p2.x + p3.x));
    double ddy = std::max(std::fabs(p0.y - 2 * p1.y + p2.y), std::fabs(p1.y - 2 * p2.y + p3.y));
    double dd = std::sqrt(ddx * ddx + ddy * ddy);
    int steps = std::max(1, (int)std::ceil(std::sqrt(0.75 * dd / kPictureFlatness)));
    steps = std::min(steps, 1000);
    for (int i = 1; i <= steps; ++i) {
        double t = (double)i / steps, u = 1.0 - t;
        double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        ring->push_back(PicturePoint{a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
}

// Drops repeated points (and a last point equal to the first); keeps rings of three points or more.
static void closeRing(PictureRing* ring, std::vector<PictureRing>* rings) {
    PictureRing clean;
    for (const PicturePoint& p : *ring)
        if (clean.empty() || p.x != clean.back().x || p.y != clean.back().y) clean.push_back(p);
    while (clean.size() > 1 && clean.back().x == clean.front().x && clean.back().y == clean.front().y) clean.pop_back();
    if (clean.size() >= 3) rings->push_back(clean);
    ring->clear();
}

static std::vector<PictureRing> flattenCommands(const std::vector<SvgCommand>& commands, const double m[6]) {
    std::vector<PictureRing> rings;
    PictureRing ring;
    PicturePoint current = {0, 0}, start = {0, 0};
    for (const SvgCommand& c : commands) {
        if (c.kind == 'M') {
            closeRing(&ring, &rings);
            current = start = toCanvas(m, c.p[0], c.p[1]);
            ring.push_back(current);
        } else if (c.kind == 'L') {
            if (ring.empty()) ring.push_back(current);
            current = toCanvas(m, c.p[0], c.p[1]);
            ring.push_back(current);
        } else if (c.kind == 'C') {
            if (ring.empty()) ring.push_back(current);
            PicturePoint p1 = toCanvas(m, c.p[0], c.p[1]), p2 = toCanvas(m, c.p[2], c.p[3]);
            PicturePoint p3 = toCanvas(m, c.p[4], c.p[5]);
            flattenCubic(current, p1, p2, p3, &ring);
            current = p3;
        } else if (c.kind == 'Z') {
            closeRing(&ring, &rings);
            current = start;
        }
    }
    closeRing(&ring, &rings);
    return rings;
}

// The palette colour number of 0xRRGGBB, or 0.
static int paletteNumber(const PageEntry* page, int rgb) {
    for (int n = 0; n < page->colourCount; ++n) {
        const uint8_t* c = page->palette[n];
        if (((c[0] << 16) | (c[1] << 8) | c[2]) == rgb) return n + 1;
    }
    return 0;
}

static int nearestPaletteNumber(const PageEntry* page, int rgb) {
    int best = 1;
    double bestDistance = 1e30;
    for (int n = 0; n < page->colourCount; ++n) {
        const uint8_t* c = page->palette[n];
        double dr = c[0] - ((rgb >> 16) & 255), dg = c[1] - ((rgb >> 8) & 255), db = c[2] - (rgb & 255);
        double distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = n + 1;
        }
    }
    return best;
}

// ---------------------------------------------------------------------------
// Internal helpers: the SVG++ context
// ---------------------------------------------------------------------------

// Receives the SVG++ events of the whole document; one state per open element.
struct SvgReader {
    PictureSource* source;
    std::vector<SvgState> states;
    std::vector<SvgCommand> commands;   // of the shape being read

    // Elements (the factory below passes each element's node).
    template <class ElementTag>
    void enterElement(ElementTag, xmlNode* node) {
        SvgState state = states.back();
        state.shape = strcmp((const char*)node->name, "g") != 0;
        state.name = elementName(node);
        PictureLayer marked = markedLayer(node);
        if (marked != LAYER_BOTH) {
            if (state.layer != LAYER_BOTH && state.layer != marked)
                source->errors.push_back(source->fileName + ": " + state.name +
                                         " is marked for one variant inside a group marked for the other");
            state.layer = marked;
        }
        states.push_back(state);
        commands.clear();
    }
    void on_exit_element() {
        if (states.back().shape) finishShape();
        states.pop_back();
    }

    // Transforms (one matrix per transform attribute).
    void transform_matrix(const boost::array<double, 6>& m) {
        double local[6] = {m[0], m[1], m[2], m[3], m[4], m[5]};
        multiply(states.back().matrix, local, states.back().matrix);
    }

    // Paths, with every shape and arc already turned into lines and cubic curves.
    void path_move_to(double x, double y, svgpp::tag::coordinate::absolute) { add('M', x, y); }
    void path_line_to(double x, double y, svgpp::tag::coordinate::absolute) { add('L', x, y); }
    void path_cubic_bezier_to(double x1, double y1, double x2, double y2, double x, double y,
                              svgpp::tag::coordinate::absolute) {
        commands.push_back(SvgCommand{'C', {x1, y1, x2, y2, x, y}});
    }
    void path_close_subpath() { add('Z', 0, 0); }
    void path_exit() {}

    // Fill.
    void set(svgpp::tag::attribute::fill, svgpp::tag::value::none) { states.back().fillKind = SVG_FILL_NONE; }
    void set(svgpp::tag::attribute::fill, int rgb) {
        states.back().fillKind = SVG_FILL_COLOUR;
        states.back().fill = rgb;
    }
    template <class... Values>
    void set(svgpp::tag::attribute::fill, const Values&...) {
        states.back().fillKind = SVG_FILL_OTHER;
    }
    void set(svgpp::tag::attribute::fill_rule, svgpp::tag::value::nonzero) { states.back().fillRule = FILL_NONZERO; }
    void set(svgpp::tag::attribute::fill_rule, svgpp::tag::value::evenodd) { states.back().fillRule = FILL_EVENODD; }

    void add(char kind, double x, double y) { commands.push_back(SvgCommand{kind, {x, y, 0, 0, 0, 0}}); }

    void finishShape() {
        const SvgState& state = states.back();
        if (state.fillKind == SVG_FILL_NONE) return;
        std::string where = source->fileName + ": " + state.name + ": ";
        if (state.fillKind == SVG_FILL_OTHER) {
            source->errors.push_back(where + "its fill is not a plain colour (gradients, patterns and "
                                             "currentColor are not read): use a colour of the palette");
            return;
        }
        int rgb = state.fillKind == SVG_FILL_COLOUR ? state.fill : 0;
        int colour = paletteNumber(source->page, rgb);
        if (colour == 0) {
            int nearest = nearestPaletteNumber(source->page, rgb);
            std::string given = state.fillKind == SVG_FILL_UNSET ? std::string("no fill (SVG draws it black)")
                                                                 : studioFormat("fill #%06x", rgb);
            source->errors.push_back(where + "has " + given + ", which is not a colour of page " +
                                     studioFormat("%d", source->page->pageId) + "'s palette (nearest: colour " +
                                     studioFormat("%d", nearest) + " " + pictureColourHex(source->page, nearest) + ")");
            return;
        }
        PictureShape shape;
        shape.name = state.name;
        shape.colour = colour;
        shape.fillRule = state.fillRule;
        shape.layer = state.layer;
        shape.rings = flattenCommands(commands, state.matrix);
        if (!shape.rings.empty()) source->shapes.push_back(shape);
    }
};

// A context factory that tells the reader which XML element each child context is for.
template <class ParentContext, class ElementTag>
struct SvgElementFactory : boost::noncopyable {
    typedef ParentContext type;
    template <class XmlElement>
    SvgElementFactory(ParentContext& context, const XmlElement& node) : context(context) {
        context.enterElement(ElementTag(), node);
    }
    type& get() const { return context; }
    void on_exit_element() const { context.on_exit_element(); }
    ParentContext& context;
};

struct SvgElementFactories {
    template <class ParentContext, class ElementTag>
    struct apply {
        typedef SvgElementFactory<ParentContext, ElementTag> type;
    };
};

typedef boost::mpl::set<svgpp::tag::element::svg, svgpp::tag::element::g, svgpp::tag::element::path,
                        svgpp::tag::element::rect, svgpp::tag::element::circle, svgpp::tag::element::ellipse,
                        svgpp::tag::element::polygon, svgpp::tag::element::polyline>::type SvgElements;

typedef boost::mpl::fold<
    svgpp::traits::shapes_attributes_by_element,
    boost::mpl::set<svgpp::tag::attribute::transform, svgpp::tag::attribute::fill,
                    svgpp::tag::attribute::fill_rule>::type,
    boost::mpl::insert<boost::mpl::_1, boost::mpl::_2>>::type SvgAttributes;

typedef svgpp::document_traversal<svgpp::processed_elements<SvgElements>, svgpp::processed_attributes<SvgAttributes>,
                                  svgpp::path_policy<svgpp::policy::path::minimal>,
                                  svgpp::context_factories<SvgElementFactories>>
    SvgTraversal;

// ---------------------------------------------------------------------------
// Reading sources
// ---------------------------------------------------------------------------

PictureSource readPictureSource(const std::string& path, const PageEntry* page) {
    PictureSource source;
    size_t slash = path.find_last_of('/');
    source.fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    source.page = page;

    xmlDoc* document = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!document) {
        const xmlError* error = xmlGetLastError();
        source.errors.push_back(source.fileName + ": not readable XML" +
                                (error && error->message ? studioFormat(" (line %d: %s)", error->line,
                                                                      trimmed(error->message).c_str())
                                                         : std::string()));
        return source;
    }
    xmlNode* root = xmlDocGetRootElement(document);
    if (checkRoot(&source, root)) {
        checkElements(&source, root);
        SvgReader reader;
        reader.source = &source;
        SvgState base = SvgState();
        base.matrix[0] = base.matrix[3] = 1.0;
        base.fillKind = SVG_FILL_UNSET;
        base.fillRule = FILL_NONZERO;
        base.layer = LAYER_BOTH;
        base.name = "<svg>";
        reader.states.push_back(base);
        try {
            SvgTraversal::load_document(root, reader);
        } catch (const std::exception& e) {
            source.errors.push_back(source.fileName + ": cannot read it: " + e.what());
        }
    }
    xmlFreeDoc(document);
    return source;
}
