// Resources and media: the .pak archive library, image textures made from
// archive entries, the model stream and mesh drawing, generated textures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SDL_Surface;

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One archive read whole into memory: parallel sequences, one element per
// entry in file order. Each entry's bytes are a heap block of exactly its size
// (new[]); an entry of 0 bytes still has its own non-null block, so "present
// but empty" and "missing" stay apart.
struct PakArchive {
    std::vector<std::string> names;
    std::vector<uint8_t*> data;
    std::vector<int32_t> sizes;
    std::vector<unsigned> entryTextureSlot;  // GL texture made from the entry, 0 while none
    std::vector<int32_t> entryTextureCount;  // outstanding references to that texture
};

// The process-wide registry of open archives, in order of opening.
struct PakLibrary {
    std::vector<std::string> fileNames;  // exactly as the callers spelled them
    std::vector<PakArchive*> archives;
    std::vector<int> references;         // at least 1 while listed
};

// The one library of the process; its archives are freed at exit.
extern PakLibrary pakLibrary;

// ---------------------------------------------------------------------------
// Archive library (reference counted; a missing or damaged archive ends the process with status 1)
// ---------------------------------------------------------------------------

// The archive of that file name, loaded on first use; +1 reference.
PakArchive* openArchive(const char* fileName);
// Bytes and size of the first entry of that name (null and 0 when missing); +1 reference either way.
const uint8_t* getEntry(const char* fileName, const char* entryName, int32_t* size);
// -1 reference; at 0 the archive's memory is freed. Unknown names are ignored.
void releaseArchive(const char* fileName);
// Current reference count of an archive; 0 when it is not listed.
int archiveReferences(const char* fileName);

// ---------------------------------------------------------------------------
// Archive records (reading, lookup and building)
// ---------------------------------------------------------------------------

// Fills an empty archive from the bytes of a .pak file; false when a count, name length or
// size does not fit in the bytes left (the archive is then left empty). Allocates no more than size
// for entry bytes, and nothing on the word of a count before the bytes left could hold it.
bool parseArchive(PakArchive* archive, const uint8_t* bytes, size_t size);
// Replaces out with the whole file; false (out empty) when it cannot be opened or read to its end.
bool readFileBytes(const char* path, std::vector<uint8_t>& out);
// Fills an empty archive from a file; false when it cannot be read or is damaged.
bool loadArchiveFile(PakArchive* archive, const char* fileName);
// As loadArchiveFile, but a missing or damaged file ends the process with status 1.
void readArchiveFile(PakArchive* archive, const char* fileName);
// Frees every entry block and empties the archive.
void clearArchive(PakArchive* archive);
// Bytes and size of the first entry of that exact name; null and 0 when there is none.
const uint8_t* findEntry(const PakArchive* archive, const char* entryName, int32_t* size);
// Appends an entry holding a copy of the bytes; false when the name is longer than 127 bytes.
bool addEntryFromMemory(PakArchive* archive, const std::string& name, const void* bytes, size_t size);
// Appends an entry holding the file's bytes, named by the path exactly as passed; false when unreadable.
bool addEntryFromFile(PakArchive* archive, const char* path);
// The archive in the .pak format, appended to out.
void serializeArchive(const PakArchive* archive, std::vector<uint8_t>& out);
// Writes the archive to a file; false when the file cannot be written.
bool writeArchiveFile(const PakArchive* archive, const char* fileName);
// Writes each entry to prefix + name (the caller supplies any separator); false at the first failure.
bool extractAllEntries(const PakArchive* archive, const std::string& prefix);

// ---------------------------------------------------------------------------
// Image textures (shared per archive entry; +1 archive reference per texture reference)
// ---------------------------------------------------------------------------

// The bytes of an image entry decoded to R, G, B, A bytes per pixel; null when they are no PNG or
// BMP that SDL_image reads, or declare a side over 4096. The caller owns the surface
// (SDL_FreeSurface); no GL context is needed.
SDL_Surface* decodeImageEntry(const uint8_t* bytes, int32_t size);
// GL texture of an image entry, decoded on first use; 0 when the entry is missing or no image.
unsigned getTexture(const char* fileName, const char* entryName);
// Drops one texture reference (deleting the texture at 0) and one archive reference.
void releaseTexture(const char* fileName, unsigned texture);

// ---------------------------------------------------------------------------
// Models and meshes
// ---------------------------------------------------------------------------

// A mesh's material as stored: flags at bytes 0 (alpha test) and 1 (transparent), then
// ambient, diffuse, specular (4 floats each) and shininess, byte-packed little-endian.
struct MeshMaterial {
    uint8_t bytes[60];
};

// Where one mesh record of a model stream lies; all pointers into the stream.
struct MeshRecord {
    const char* textureName;        // zero-terminated inside the record
    const MeshMaterial* material;
    int32_t triangleCount;
    const uint8_t* positions;       // 9 floats per triangle
    const uint8_t* normals;         // 9 floats per triangle
    const uint8_t* texCoords;       // 6 floats per triangle
};

// A drawable piece of a model, its geometry used in place in the archive's memory.
struct Mesh {
    double r, g, b, a;              // colour override
    bool colourOverride;            // in use since the first setMeshColor
    const MeshMaterial* material;
    bool capturedDepthTest;         // GL state when a transparent mesh was deferred
    bool capturedLighting;
    bool capturedLights[8];
    int32_t triangleCount;
    const uint8_t* positions;
    const uint8_t* normals;
    const uint8_t* texCoords;
    std::string textureOwner;       // archive name, or the description of a generated texture
    const char* textureName;
    unsigned texture;
    bool generatedTexture;
    double modelView[16];           // captured at the last draw, reused by deferred and picking draws
};

// Transparent meshes queued during the scene draw, drawn blended afterwards.
struct DeferredMeshList {
    std::vector<Mesh*> meshes;      // not owned
};

extern DeferredMeshList deferredMeshes;

// Checks a model stream against its size and lists its mesh records; false (and none) when it does not fit.
// When end is given it receives the offset just past the last record (bytes after it are ignored).
bool parseModelStream(const uint8_t* bytes, size_t size, std::vector<MeshRecord>* records, size_t* end = nullptr);
// Appends the meshes of a model entry (+1 archive reference, kept by the caller); returns how many.
int readModel(const char* archiveName, const char* entryName, std::vector<Mesh*>& meshes);
// Empty mesh: no texture, no override, no triangles.
void initMesh(Mesh* mesh);
// Binds the mesh to its record's bytes and acquires its texture.
void readMesh(Mesh* mesh, const MeshRecord& record, const char* archiveName);
// Releases the mesh's texture; the owner then deletes the record.
void freeMesh(Mesh* mesh);
// Colour override for the mesh (alpha shows only on transparent meshes).
void setMeshColor(Mesh* mesh, double r, double g, double b, double a);
// Captures the matrix and draws the mesh now, or queues it when transparent.
void drawMesh(Mesh* mesh);
// Captures the matrix only (a hidden node stays pickable).
void captureMeshMatrix(Mesh* mesh);
// Draws a queued transparent mesh from its captured state.
void drawDeferredMesh(Mesh* mesh);
// Bare triangles from the captured matrix, for the selection pass.
void drawMeshForPicking(const Mesh* mesh);
// Draws the queued transparent meshes with depth writes off and empties the queue.
void flushDeferredMeshes();

// ---------------------------------------------------------------------------
// Generated textures: types
// ---------------------------------------------------------------------------

// Fills a width × height RGBA buffer (rows of width pixels, row 0 first) for time t in ms.
typedef void (*TextureGenerator)(int t, int width, int height, uint8_t* pixels, void* parameters);
// Frees a generator's parameter block.
typedef void (*ParameterRelease)(void* parameters);

// A GL texture whose image is the pixel buffer as its generator last left it.
struct DynamicTexture {
    TextureGenerator generator;
    void* parameters;               // owned; freed by releaseParameters
    ParameterRelease releaseParameters;
    int32_t width;
    int32_t height;
    unsigned texture;               // GL texture name
    uint8_t* pixels;                // width × height × 4 bytes, R, G, B, A
    size_t pixelBytes;
};

// The parameter block of "Fire": a heat field that rises and cools, and the colours of heat.
struct FireState {
    uint8_t palette[256][4];        // R, G, B, A per heat value; 255 is never reached
    uint8_t* heat;                  // current field: width × rows cells, one byte each
    uint8_t* nextHeat;              // the field being computed; swapped with heat after each step
    int32_t width;
    int32_t rows;                   // visible height + 3 hidden rows where heat is injected
};

// Shared generated textures: parallel lists in creation order.
struct ProceduralTextureRegistry {
    std::vector<DynamicTexture*> textures;
    std::vector<std::string> descriptions;  // the key: the mesh's whole texture name
    std::vector<int> references;            // at least 1 while listed
};

enum ProceduralKind { PROCEDURAL_PLASMA, PROCEDURAL_FIRE };

// What a description asks for.
struct TextureDescription {
    ProceduralKind kind;
    int32_t width;
    int32_t height;
    uint8_t base[3];                // Plasma only: red, green, blue, each the low byte of its number
};

// Largest side and pixel count a generated texture may have: the buffers stay bounded and
// no size product can overflow.
const int32_t maximumProceduralSide = 4096;
const int32_t maximumProceduralPixels = maximumProceduralSide * maximumProceduralSide;

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// The one registry of the process. At exit only its lists are dropped: the GL
// context is gone by then, so textures still listed are neither deleted nor freed.
extern ProceduralTextureRegistry proceduralTextureRegistry;

// ---------------------------------------------------------------------------
// Registry (main thread, GL context current)
// ---------------------------------------------------------------------------

// The GL texture for a description ("?#Plasma<w>?<h>?<r>?<g>?<b>" or "?#Fire<w>?<h>",
// each ? one arbitrary character), created on first use; +1 reference. 0, with nothing
// created or registered, when the description cannot make a texture.
unsigned getProceduralTexture(const char* description);
// -1 reference; at 0 the GL texture is deleted and the entry removed. Unknown descriptions are ignored.
void releaseProceduralTexture(const char* description);
// Advances every registered texture, in registry order, to frameTicks. The game never calls it,
// so generated textures keep the content they had when created.
void advanceProceduralTextures();
// Reads a description; false when it names another kind, lacks a number, is shorter than two
// characters, or gives a size the generators can't take (not positive, over the maxima, a Fire
// height below 2). Reads nothing past the terminating NUL.
bool parseTextureDescription(const char* description, TextureDescription* out);

// ---------------------------------------------------------------------------
// Dynamic textures
// ---------------------------------------------------------------------------

// A new texture with a zeroed buffer (transparent black) uploaded as its image; the generator is
// not run. The new texture stays bound to GL_TEXTURE_2D. Takes ownership of the parameter block;
// on a size that is not positive or over the maxima it releases the block and returns null.
DynamicTexture* createDynamicTexture(TextureGenerator generator, ParameterRelease releaseParameters,
                                     void* parameters, int32_t width, int32_t height);
// Runs the generator for time t and re-uploads the whole image; the texture binding is kept.
void advanceDynamicTexture(DynamicTexture* texture, int t);
// Frees the buffer, the parameter block and the record; the GL texture must be deleted before.
void destroyDynamicTexture(DynamicTexture* texture);

// ---------------------------------------------------------------------------
// Generators
// ---------------------------------------------------------------------------

// Sine-wave pattern in a base colour (parameters: 3 bytes R, G, B), opaque only in a thin band,
// with a green grid every 16 pixels.
void plasmaGenerator(int t, int width, int height, uint8_t* pixels, void* parameters);
// One step of the fire (parameters: a FireState of the same size; t is not used). Uses rand().
void fireGenerator(int t, int width, int height, uint8_t* pixels, void* parameters);
// A cold fire of that size with its palette; null when the size cannot be taken (width below 1,
// height below 2, over the maxima).
FireState* createFireState(int32_t width, int32_t height);
// Frees a FireState (a ParameterRelease).
void releaseFireState(void* state);
// Linear ramp over palette entries first to end − 1: each channel from + (to − from) × p,
// p = (i − first) / (end − first), truncated toward zero; entries outside 0 to 255 are skipped.
void fillPaletteGradient(uint8_t palette[][4], int first, int end, const uint8_t from[4], const uint8_t to[4]);

// ---------------------------------------------------------------------------
// Model building (used by the tools and tests; the game only reads)
// ---------------------------------------------------------------------------

// One mesh to be written: non-indexed triangles, three vertices each.
struct MeshSource {
    std::string textureName;        // image entry, or a generated-texture description
    bool alphaTest;
    bool transparent;
    float ambient[4], diffuse[4], specular[4];
    float shininess;
    std::vector<float> positions;   // x, y, z per vertex
    std::vector<float> normals;     // x, y, z per vertex
    std::vector<float> texCoords;   // s, t per vertex
};

// Appends the model stream of the meshes to out (marker byte 0, no section); the inverse of parseModelStream.
void serializeModel(const std::vector<MeshSource>& meshes, std::vector<uint8_t>& out);
