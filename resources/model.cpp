// Model streams and mesh drawing: opaque meshes draw at once, transparent
// ones are deferred to a blended pass after the scene, and every mesh keeps
// the matrix it was drawn with for the selection pass.
#include "resources/resources.h"

#include <GL/gl.h>
#include <cstring>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

DeferredMeshList deferredMeshes;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

enum {
    kMarkerWithSection = 0xFF,
    kBytesPerTriangle = 36 + 36 + 24,
    kLightCount = 8
};

// Bounded little-endian reader over one entry's bytes.
struct StreamReader {
    const uint8_t* bytes;
    size_t size;
    size_t pos;
};

static size_t bytesLeft(const StreamReader* r) { return r->size - r->pos; }

static bool readInt32(StreamReader* r, int32_t* value) {
    if (bytesLeft(r) < 4) return false;
    const uint8_t* p = r->bytes + r->pos;
    *value = (int32_t)((uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24));
    r->pos += 4;
    return true;
}

static bool skipBytes(StreamReader* r, size_t count) {
    if (bytesLeft(r) < count) return false;
    r->pos += count;
    return true;
}

// Checks one mesh record against the bytes left and notes where its parts lie.
static bool readMeshRecord(StreamReader* r, MeshRecord* out) {
    int32_t nameLength;
    if (!readInt32(r, &nameLength) || nameLength < 1 || (size_t)nameLength > bytesLeft(r)) return false;
    const char* name = (const char*)(r->bytes + r->pos);
    // The name must end inside its own bytes: it is used as a C string later.
    if (!memchr(name, '\0', (size_t)nameLength)) return false;
    r->pos += (size_t)nameLength;
    out->textureName = name;
    out->material = (const MeshMaterial*)(r->bytes + r->pos);
    if (!skipBytes(r, sizeof(MeshMaterial))) return false;
    if (!readInt32(r, &out->triangleCount) || out->triangleCount < 0) return false;
    if (!skipBytes(r, 1)) return false;  // reserved
    if ((size_t)out->triangleCount > bytesLeft(r) / kBytesPerTriangle) return false;
    size_t t = (size_t)out->triangleCount;
    out->positions = r->bytes + r->pos;
    out->normals = out->positions + 36 * t;
    out->texCoords = out->normals + 36 * t;
    r->pos += kBytesPerTriangle * t;
    return true;
}

static bool isGeneratedTextureName(const char* name) { return name[0] != '\0' && name[1] == '#'; }

static void setMaterial(const MeshMaterial* m) {
    GLfloat shininess, specular[4], diffuse[4], ambient[4];
    // The stream is byte-packed: the floats are copied out, not aliased.
    memcpy(&shininess, m->bytes + 52, sizeof shininess);
    memcpy(specular, m->bytes + 36, sizeof specular);
    memcpy(diffuse, m->bytes + 20, sizeof diffuse);
    memcpy(ambient, m->bytes + 4, sizeof ambient);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
}

static bool isAlphaTested(const Mesh* mesh) { return mesh->material->bytes[0] != 0; }
static bool isTransparent(const Mesh* mesh) { return mesh->material->bytes[1] != 0; }

// Material, texture and colour, then the triangles. The override's alpha
// counts only where blending is on; the caller's current colour is restored.
static void drawTexturedTriangles(const Mesh* mesh, bool withAlpha) {
    setMaterial(mesh->material);
    glBindTexture(GL_TEXTURE_2D, mesh->texture);
    GLfloat before[4];
    if (mesh->colourOverride) {
        // Restored with glColor rather than an attribute pop: the material
        // that follows the colour must follow it back too, or the next mesh's
        // white would find the colour unchanged and keep this tint.
        glGetFloatv(GL_CURRENT_COLOR, before);
        if (withAlpha) glColor4d(mesh->r, mesh->g, mesh->b, mesh->a);
        else glColor3d(mesh->r, mesh->g, mesh->b);
    } else {
        glColor4d(1.0, 1.0, 1.0, 1.0);
    }
    glTexCoordPointer(2, GL_FLOAT, 0, mesh->texCoords);
    glVertexPointer(3, GL_FLOAT, 0, mesh->positions);
    glNormalPointer(GL_FLOAT, 0, mesh->normals);
    glDrawArrays(GL_TRIANGLES, 0, 3 * mesh->triangleCount);
    if (mesh->colourOverride) glColor4fv(before);
}

// ---------------------------------------------------------------------------
// Model streams
// ---------------------------------------------------------------------------

bool parseModelStream(const uint8_t* bytes, size_t size, std::vector<MeshRecord>* records, size_t* end) {
    records->clear();
    StreamReader r = {bytes, size, 0};
    if (size < 1) return false;
    uint8_t marker = bytes[0];
    r.pos = 1;
    if (marker == kMarkerWithSection && !skipBytes(&r, 4)) return false;
    int32_t count;
    if (!readInt32(&r, &count) || count < 0) return false;
    // Every record needs at least a name length, a one-byte name, a material,
    // a triangle count and the reserved byte: a count beyond that cannot fit.
    const size_t minRecord = 4 + 1 + sizeof(MeshMaterial) + 4 + 1;
    if ((size_t)count > bytesLeft(&r) / minRecord) return false;
    records->reserve((size_t)count);
    for (int32_t i = 0; i < count; ++i) {
        MeshRecord record;
        if (!readMeshRecord(&r, &record)) {
            records->clear();
            return false;
        }
        records->push_back(record);
    }
    if (end) *end = r.pos;
    return true;
}

int readModel(const char* archiveName, const char* entryName, std::vector<Mesh*>& meshes) {
    int32_t size = 0;
    const uint8_t* bytes = getEntry(archiveName, entryName, &size);
    if (!bytes || size <= 0) return 0;
    std::vector<MeshRecord> records;
    if (!parseModelStream(bytes, (size_t)size, &records)) return 0;
    for (size_t i = 0; i < records.size(); ++i) {
        Mesh* mesh = new Mesh();
        initMesh(mesh);
        readMesh(mesh, records[i], archiveName);
        meshes.push_back(mesh);
    }
    return (int)records.size();
}

// ---------------------------------------------------------------------------
// Meshes: lifetime
// ---------------------------------------------------------------------------

void initMesh(Mesh* mesh) {
    mesh->textureOwner.clear();
    mesh->colourOverride = false;
    mesh->r = mesh->g = mesh->b = mesh->a = 1.0;
    mesh->triangleCount = 0;
    mesh->material = nullptr;
    mesh->positions = mesh->normals = mesh->texCoords = nullptr;
    mesh->textureName = nullptr;
    mesh->texture = 0;
    mesh->generatedTexture = false;
    mesh->capturedDepthTest = mesh->capturedLighting = false;
    for (int i = 0; i < kLightCount; ++i) mesh->capturedLights[i] = false;
    for (int i = 0; i < 16; ++i) mesh->modelView[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

void readMesh(Mesh* mesh, const MeshRecord& record, const char* archiveName) {
    mesh->textureName = record.textureName;
    if (isGeneratedTextureName(record.textureName)) {
        mesh->texture = getProceduralTexture(record.textureName);
        mesh->textureOwner = record.textureName;
        mesh->generatedTexture = true;
    } else {
        mesh->texture = getTexture(archiveName, record.textureName);
        mesh->textureOwner = archiveName;
        mesh->generatedTexture = false;
    }
    mesh->material = record.material;
    mesh->triangleCount = record.triangleCount;
    mesh->positions = record.positions;
    mesh->normals = record.normals;
    mesh->texCoords = record.texCoords;
}

void freeMesh(Mesh* mesh) {
    // A transparent mesh of the cursor layer waits in the list until the next
    // frame; a mesh freed meanwhile must not be drawn from there.
    std::vector<Mesh*>& queued = deferredMeshes.meshes;
    for (size_t i = 0; i < queued.size();) {
        if (queued[i] == mesh) queued.erase(queued.begin() + i);
        else ++i;
    }
    if (mesh->generatedTexture)
        releaseProceduralTexture(mesh->textureOwner.c_str());
    else
        releaseTexture(mesh->textureOwner.c_str(), mesh->texture);
}

void setMeshColor(Mesh* mesh, double r, double g, double b, double a) {
    mesh->r = r;
    mesh->g = g;
    mesh->b = b;
    mesh->a = a;
    mesh->colourOverride = true;
}

// ---------------------------------------------------------------------------
// Meshes: drawing
// ---------------------------------------------------------------------------

void captureMeshMatrix(Mesh* mesh) { glGetDoublev(GL_MODELVIEW_MATRIX, mesh->modelView); }

void drawMesh(Mesh* mesh) {
    captureMeshMatrix(mesh);
    if (isTransparent(mesh)) {
        mesh->capturedDepthTest = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
        mesh->capturedLighting = glIsEnabled(GL_LIGHTING) == GL_TRUE;
        if (mesh->capturedLighting)
            for (int i = 0; i < kLightCount; ++i) mesh->capturedLights[i] = glIsEnabled(GL_LIGHT0 + i) == GL_TRUE;
        deferredMeshes.meshes.push_back(mesh);
        return;
    }
    if (isAlphaTested(mesh)) glEnable(GL_ALPHA_TEST);
    glEnable(GL_COLOR_MATERIAL);  // stays on: every mesh takes its colour this way
    drawTexturedTriangles(mesh, false);
    if (isAlphaTested(mesh)) glDisable(GL_ALPHA_TEST);
}

void drawDeferredMesh(Mesh* mesh) {
    bool depthDisabled = !mesh->capturedDepthTest;
    if (depthDisabled) glDisable(GL_DEPTH_TEST);
    if (mesh->capturedLighting) {
        glEnable(GL_LIGHTING);
        for (int i = 0; i < kLightCount; ++i)
            if (mesh->capturedLights[i]) glEnable(GL_LIGHT0 + i);
    }
    if (isAlphaTested(mesh)) glEnable(GL_ALPHA_TEST);
    glLoadMatrixd(mesh->modelView);
    glEnable(GL_BLEND);
    drawTexturedTriangles(mesh, true);
    if (depthDisabled) glEnable(GL_DEPTH_TEST);
    if (mesh->capturedLighting) {
        glDisable(GL_LIGHTING);
        for (int i = 0; i < kLightCount; ++i)
            if (mesh->capturedLights[i]) glDisable(GL_LIGHT0 + i);
    }
    if (isAlphaTested(mesh)) glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
}

void drawMeshForPicking(const Mesh* mesh) {
    glLoadMatrixd(mesh->modelView);
    glVertexPointer(3, GL_FLOAT, 0, mesh->positions);
    glDrawArrays(GL_TRIANGLES, 0, 3 * mesh->triangleCount);
}

void flushDeferredMeshes() {
    glDepthMask(GL_FALSE);
    for (size_t i = 0; i < deferredMeshes.meshes.size(); ++i) drawDeferredMesh(deferredMeshes.meshes[i]);
    glDepthMask(GL_TRUE);
    deferredMeshes.meshes.clear();
}

// ---------------------------------------------------------------------------
// Model building
// ---------------------------------------------------------------------------

static void putInt32(std::vector<uint8_t>& out, int32_t value) {
    uint32_t v = (uint32_t)value;
    for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(v >> (8 * i)));
}

static void putFloats(std::vector<uint8_t>& out, const float* values, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t bits;
        memcpy(&bits, &values[i], sizeof bits);
        putInt32(out, (int32_t)bits);
    }
}

void serializeModel(const std::vector<MeshSource>& meshes, std::vector<uint8_t>& out) {
    out.push_back(0);
    putInt32(out, (int32_t)meshes.size());
    for (const MeshSource& m : meshes) {
        putInt32(out, (int32_t)m.textureName.size() + 1);
        out.insert(out.end(), m.textureName.begin(), m.textureName.end());
        out.push_back(0);
        uint8_t head[4] = {(uint8_t)(m.alphaTest ? 1 : 0), (uint8_t)(m.transparent ? 1 : 0), 0, 0};
        out.insert(out.end(), head, head + 4);
        putFloats(out, m.ambient, 4);
        putFloats(out, m.diffuse, 4);
        putFloats(out, m.specular, 4);
        putFloats(out, &m.shininess, 1);
        putInt32(out, 0);
        int32_t triangles = (int32_t)(m.positions.size() / 9);
        putInt32(out, triangles);
        out.push_back(0);
        // Short arrays are padded with zeros so the record always matches its count.
        std::vector<float> normals(m.normals), texCoords(m.texCoords), positions(m.positions);
        positions.resize((size_t)triangles * 9, 0.0f);
        normals.resize((size_t)triangles * 9, 0.0f);
        texCoords.resize((size_t)triangles * 6, 0.0f);
        putFloats(out, positions.data(), positions.size());
        putFloats(out, normals.data(), normals.size());
        putFloats(out, texCoords.data(), texCoords.size());
    }
}
