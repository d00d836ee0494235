// The scene engine: a tree of nodes whose drawing is also their update, with
// timed actions that run on the nodes every frame.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

struct Mesh;

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// Placement relative to the parent; also the per-frame offset of an action runner.
struct Transform {
    bool scaleInUse;         // scale is applied; set by setScale and scaleBy, never cleared by them
    double x, y, z;          // translation
    double ax, ay, az;       // rotation in degrees about X, then Y, then Z
    double sx, sy, sz;       // scale factors
};

// Where in a node's drawing a frame callback is called.
enum FramePhase {
    PHASE_BEFORE_MESHES = 1,
    PHASE_AFTER_MESHES = 2,
    PHASE_BEFORE_CHILD = 3,
    PHASE_AFTER_CHILD = 4
};

typedef void (*FrameCallbackFn)(int phase, void* userData);
typedef void (*ActionCallbackFn)(void* userData);

struct FrameCallback {
    FrameCallbackFn fn;
    void* userData;
};

// A timed callback. Templates live in groups; running copies live in a runner.
struct ActionDesc {
    Transform* target;       // the runner's offset while running; null in templates
    double elapsed;          // ms given so far; callbacks may reset it
    int32_t iparam1, iparam2, iparam3;
    double param1, param2, param3;
    void* userData;
    ActionCallbackFn callback;
    int32_t tag;             // addresses running actions by command
    bool active;             // a paused action neither gains time nor is called
    bool endless;
    bool finished;           // dropped at the runner's next tick
    double duration;         // ms; used only when not endless
    double total;            // ms counted against the duration
};

// The actions running on a node. A list keeps each running record at a fixed
// address, so the record a callback is running from stays valid while the
// callback starts further actions on the same runner.
struct ActionRunner {
    unsigned now;
    unsigned previous;
    double timeScale;
    Transform offset;
    std::list<ActionDesc> running;
};

enum ActionCommand { COMMAND_PAUSE = 0, COMMAND_RESUME = 1, COMMAND_STOP = 2 };

struct ActionSet;

struct TagCommand {
    int32_t tag;
    int32_t command;
};

struct GroupLink {
    ActionSet* set;
    int32_t group;
};

struct ActionGroup {
    std::vector<ActionDesc> actions;
    std::vector<TagCommand> commands;
    std::vector<GroupLink> links;
};

// Numbered groups of action templates, started together by activateGroup.
struct ActionSet {
    int currentGroup;
    std::vector<ActionGroup> groups;
    ActionRunner* runner;
};

// A node of the scene tree. Owns its meshes, one archive reference per loaded
// model, and (once they report closed) its children.
struct SceneNode {
    Transform transform;
    ActionRunner runner;
    ActionSet actions;
    bool closing;
    bool closed;
    double r, g, b;
    double alpha;
    bool visible;
    bool scaleChildren;
    std::vector<FrameCallback> frameCallbacks;
    std::vector<Mesh*> meshes;
    std::vector<std::string> archiveNames;
    int meshCount;
    bool loaded;
    std::vector<SceneNode*> children;
};

enum { PICK_BUFFER_WORDS = 512 };

// Selection-mode picking: the nodes that made themselves candidates this
// frame and the nearest of them under the mouse, found after the swap.
struct Picker {
    unsigned selectionBuffer[PICK_BUFFER_WORDS];
    std::vector<SceneNode*> candidates;
    SceneNode* hovered;  // only compared, never followed
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

extern SceneNode* currentNode;      // the node whose drawing was entered last
extern ActionDesc* currentAction;   // the action whose callback is running
extern Picker picker;
extern bool dialogOpen;             // a dialog is open: the main screen ignores the mouse
extern bool innerDialogOpen;        // a dialog opened from a dialog is open on top

// ---------------------------------------------------------------------------
// Transforms
// ---------------------------------------------------------------------------

// Position and rotation 0, scale 1; scaleInUse unchanged.
void resetTransform(Transform* t);
// resetTransform, then scaleInUse false.
void clearTransform(Transform* t);
// Issues glTranslatef and glRotatef (X, Y, Z) for the non-zero components only.
void applyTransform(const Transform* t);
// Issues glScaled with the scale factors.
void applyScale(const Transform* t);

// ---------------------------------------------------------------------------
// Nodes: lifetime
// ---------------------------------------------------------------------------

// New heap node with the defaults; the caller owns it until it is added to a parent.
SceneNode* createNode();
// Releases the node's archive references and meshes and drops its lists; children are not
// destroyed. The caller then deletes the record.
void destroyNode(SceneNode* node);
// Asks the node to take its subtree down; its parent destroys it once it reports closed.
void closeNode(SceneNode* node);
// Appends a child, which the node then owns.
void addChild(SceneNode* node, SceneNode* child);

// ---------------------------------------------------------------------------
// Nodes: placement and colour
// ---------------------------------------------------------------------------

void setPosition(SceneNode* node, double x, double y, double z);
void moveBy(SceneNode* node, double dx, double dy, double dz);
// Rotation in degrees about X, then Y, then Z.
void setRotation(SceneNode* node, double ax, double ay, double az);
void rotateBy(SceneNode* node, double dx, double dy, double dz);
void setScale(SceneNode* node, double sx, double sy, double sz);
// Adds to the scale factors (does not multiply).
void scaleBy(SceneNode* node, double dx, double dy, double dz);
// Colour pushed to the node's meshes (the stored colour changes even without meshes).
void setColor(SceneNode* node, double r, double g, double b);
void setAlpha(SceneNode* node, double a);
void setColorAlpha(SceneNode* node, double r, double g, double b, double a);

// ---------------------------------------------------------------------------
// Nodes: models, callbacks, drawing
// ---------------------------------------------------------------------------

// Appends the meshes of a model entry; holds one archive reference until unload or destroy.
void loadModel(SceneNode* node, const char* archiveName, const char* entryName);
// Releases every model of the node; transform, colour, callbacks, actions and children stay.
void unloadModel(SceneNode* node);
void addFrameCallback(SceneNode* node, FrameCallbackFn fn, void* userData);
void clearFrameCallbacks(SceneNode* node);
// Draws and updates the node and its subtree, and destroys children that reported closed.
void drawNode(SceneNode* node);
// Draws the node's meshes as bare triangles for the selection pass.
void drawNodeForPicking(SceneNode* node);

// ---------------------------------------------------------------------------
// Actions: templates
// ---------------------------------------------------------------------------

// Tag, active flag and duration (0 endless, negative one tick); clears the timers.
void initAction(ActionDesc* desc, int32_t tag, bool active, double duration);
void setActionCallback(ActionDesc* desc, ActionCallbackFn callback, void* userData);
// Callback, no user data, 0 to 3 integer parameters, then the three real parameters.
void setActionParams(ActionDesc* desc, ActionCallbackFn callback, double p1, double p2, double p3);
void setActionParams(ActionDesc* desc, ActionCallbackFn callback, int32_t i1, double p1, double p2, double p3);
void setActionParams(ActionDesc* desc, ActionCallbackFn callback, int32_t i1, int32_t i2, double p1, double p2, double p3);
void setActionParams(ActionDesc* desc, ActionCallbackFn callback, int32_t i1, int32_t i2, int32_t i3, double p1, double p2, double p3);
// Marks the action finished; callbacks end themselves with finishAction(currentAction).
void finishAction(ActionDesc* desc);

// ---------------------------------------------------------------------------
// Actions: groups
// ---------------------------------------------------------------------------

// Appends an empty group and makes it current; returns its index.
int addGroup(ActionSet* set);
// Appends a copy of the template to the current group.
void addAction(ActionSet* set, const ActionDesc& desc);
// Appends a (tag, command) pair to the current group.
void addCommand(ActionSet* set, int32_t tag, int32_t command);
// Appends a link to another set's group to the current group.
void addLink(ActionSet* set, ActionSet* other, int32_t group);
// Starts the group's actions, sends its commands, then activates its links; an unknown index is ignored.
void activateGroup(ActionSet* set, int group);

// ---------------------------------------------------------------------------
// Actions: runners
// ---------------------------------------------------------------------------

// Empty runner on the clock of the current frameTicks.
void initRunner(ActionRunner* runner);
// Appends a running copy whose target is the runner's offset.
void startAction(ActionRunner* runner, const ActionDesc& desc);
// Advances every running action by the frame's time and applies the offset.
void tickRunner(ActionRunner* runner);
// Gives dt ms to one running action and calls it.
void tickAction(ActionDesc* desc, unsigned dt);
void pauseTagged(ActionRunner* runner, int32_t tag);
void resumeTagged(ActionRunner* runner, int32_t tag);
void stopTagged(ActionRunner* runner, int32_t tag);

// ---------------------------------------------------------------------------
// Screens
// ---------------------------------------------------------------------------

// Runs the callback once, with iparam1 = value, on a new node under gameLayer at its next draw.
void runOnce(ActionCallbackFn callback, int32_t value);

// ---------------------------------------------------------------------------
// Picking
// ---------------------------------------------------------------------------

// Makes currentNode a candidate of this frame's selection pass.
void addPickCandidate();
// Frame callback that makes a node with a model pickable.
void pickableFrameCallback(int phase, void* userData);
// Whether currentNode was the nearest candidate under the mouse last frame.
bool isHovered();
// isHovered while no dialog is open: for the main screen.
bool isHoveredInGame();
// isHovered for a dialog's own buttons, while no inner dialog is on top.
bool isHoveredInDialog();
// The selection pass over this frame's candidates; its result is read next frame.
void updatePicker();

// ---------------------------------------------------------------------------
// Ready-made action callbacks (axis in iparam1: 0 X, 1 Y, 2 Z; t = elapsed)
// ---------------------------------------------------------------------------

// Closes currentNode once t exceeds param1 ms.
void closeAfterDelayAction(void* userData);
// Offset param1 × sin(t × param2 / 1000 + param3) along the axis.
void swingOffsetAction(void* userData);
// Offset t × param1 / 1000 along the axis: seen sliding at param1 units per second.
void slideOffsetAction(void* userData);
// Offset param1 × (1 − exp(t / 1000 × param2)) along the axis.
void easeOffsetAction(void* userData);
// Moves currentNode by the last tick's share of param1 units per second.
void moveAtSpeedAction(void* userData);
// Offset rotation t × param1 / 1000 + param2 degrees about the axis.
void spinOffsetAction(void* userData);
// Turns currentNode by the last tick's share of param1 degrees per second plus param2.
void turnAtSpeedAction(void* userData);
// Offset rotation param1 × sin(t × param2 / 1000 + param3) degrees about the axis.
void swingRotationAction(void* userData);
// Places light iparam1 (1 to 4) at the node's origin.
void lightAtNodeAction(void* userData);

// ---------------------------------------------------------------------------
// Ready-made frame callbacks
// ---------------------------------------------------------------------------

// The node's own meshes face the viewer at their place.
void billboardFrameCallback(int phase, void* userData);
// The node's meshes and children draw without depth testing.
void noDepthFrameCallback(int phase, void* userData);
// Cancels an ancestor's lighting for the node's meshes and children.
void unlitFrameCallback(int phase, void* userData);
