// Actions: timed callbacks running on nodes, grouped templates with commands
// and links, and the one-shot screen opener.
#include "scene/scene.h"

#include "shell/shell.h"

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

ActionDesc* currentAction = nullptr;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static void setRealParams(ActionDesc* desc, ActionCallbackFn callback, double p1, double p2, double p3) {
    desc->callback = callback;
    desc->userData = nullptr;
    desc->param1 = p1;
    desc->param2 = p2;
    desc->param3 = p3;
}

static ActionGroup* currentGroupOf(ActionSet* set) {
    if (set->currentGroup < 0 || set->currentGroup >= (int)set->groups.size()) return nullptr;
    return &set->groups[set->currentGroup];
}

// ---------------------------------------------------------------------------
// Actions: templates
// ---------------------------------------------------------------------------

void initAction(ActionDesc* desc, int32_t tag, bool active, double duration) {
    desc->tag = tag;
    desc->active = active;
    if (duration == 0.0) {
        desc->endless = true;
    } else {  // NaN lands here too: it is not 0
        desc->duration = duration;
        desc->endless = false;
    }
    desc->finished = false;
    desc->elapsed = 0.0;
    desc->total = 0.0;
}

void setActionCallback(ActionDesc* desc, ActionCallbackFn callback, void* userData) {
    desc->callback = callback;
    desc->userData = userData;
}

void setActionParams(ActionDesc* desc, ActionCallbackFn callback, double p1, double p2, double p3) {
    setRealParams(desc, callback, p1, p2, p3);
}

void setActionParams(ActionDesc* desc, ActionCallbackFn callback, int32_t i1, double p1, double p2, double p3) {
    setRealParams(desc, callback, p1, p2, p3);
    desc->iparam1 = i1;
}

void setActionParams(ActionDesc* desc, ActionCallbackFn callback, int32_t i1, int32_t i2, double p1, double p2,
                     double p3) {
    setRealParams(desc, callback, p1, p2, p3);
    desc->iparam1 = i1;
    desc->iparam2 = i2;
}

void setActionParams(ActionDesc* desc, ActionCallbackFn callback, int32_t i1, int32_t i2, int32_t i3, double p1,
                     double p2, double p3) {
    setRealParams(desc, callback, p1, p2, p3);
    desc->iparam1 = i1;
    desc->iparam2 = i2;
    desc->iparam3 = i3;
}

void finishAction(ActionDesc* desc) { desc->finished = true; }

// ---------------------------------------------------------------------------
// Actions: groups
// ---------------------------------------------------------------------------

int addGroup(ActionSet* set) {
    set->groups.push_back(ActionGroup());
    set->currentGroup = (int)set->groups.size() - 1;
    return set->currentGroup;
}

void addAction(ActionSet* set, const ActionDesc& desc) {
    ActionGroup* group = currentGroupOf(set);
    if (group) group->actions.push_back(desc);
}

void addCommand(ActionSet* set, int32_t tag, int32_t command) {
    ActionGroup* group = currentGroupOf(set);
    if (group) group->commands.push_back(TagCommand{tag, command});
}

void addLink(ActionSet* set, ActionSet* other, int32_t groupIndex) {
    ActionGroup* group = currentGroupOf(set);
    if (group) group->links.push_back(GroupLink{other, groupIndex});
}

void activateGroup(ActionSet* set, int groupIndex) {
    if (groupIndex < 0 || groupIndex >= (int)set->groups.size()) return;
    // Indexing (not references) throughout: a started action may add groups to this set.
    for (size_t i = 0; i < set->groups[groupIndex].actions.size(); ++i)
        startAction(set->runner, set->groups[groupIndex].actions[i]);
    for (size_t i = 0; i < set->groups[groupIndex].commands.size(); ++i) {
        TagCommand c = set->groups[groupIndex].commands[i];
        if (c.command == COMMAND_PAUSE) pauseTagged(set->runner, c.tag);
        else if (c.command == COMMAND_RESUME) resumeTagged(set->runner, c.tag);
        else if (c.command == COMMAND_STOP) stopTagged(set->runner, c.tag);
    }
    for (size_t i = 0; i < set->groups[groupIndex].links.size(); ++i) {
        GroupLink link = set->groups[groupIndex].links[i];
        activateGroup(link.set, link.group);
    }
}

// ---------------------------------------------------------------------------
// Actions: runners
// ---------------------------------------------------------------------------

void initRunner(ActionRunner* runner) {
    clearTransform(&runner->offset);
    runner->running.clear();
    runner->timeScale = 1.0;
    runner->now = frameTicks;
    runner->previous = frameTicks;
}

void startAction(ActionRunner* runner, const ActionDesc& desc) {
    runner->running.push_back(desc);
    runner->running.back().target = &runner->offset;
}

void tickRunner(ActionRunner* runner) {
    runner->previous = runner->now;
    runner->now = frameTicks;
    resetTransform(&runner->offset);
    unsigned dt = (unsigned)((double)(unsigned)(runner->now - runner->previous) * runner->timeScale);
    // The end is re-checked on every step, so actions started by a callback
    // during this walk are ticked in the same pass.
    for (std::list<ActionDesc>::iterator it = runner->running.begin(); it != runner->running.end();) {
        if (it->finished) {
            it = runner->running.erase(it);
        } else {
            tickAction(&*it, dt);
            ++it;
        }
    }
    applyTransform(&runner->offset);
}

void tickAction(ActionDesc* desc, unsigned dt) {
    if (!desc->active) return;
    desc->total += dt;
    if (!desc->endless && !(desc->duration > desc->total)) desc->finished = true;
    desc->elapsed += dt;
    currentAction = desc;
    desc->callback(desc->userData);
}

void pauseTagged(ActionRunner* runner, int32_t tag) {
    for (ActionDesc& a : runner->running)
        if (a.tag == tag) a.active = false;
}

void resumeTagged(ActionRunner* runner, int32_t tag) {
    for (ActionDesc& a : runner->running)
        if (a.tag == tag) a.active = true;
}

void stopTagged(ActionRunner* runner, int32_t tag) {
    for (ActionDesc& a : runner->running)
        if (a.tag == tag) a.finished = true;
}

// ---------------------------------------------------------------------------
// Screens
// ---------------------------------------------------------------------------

void runOnce(ActionCallbackFn callback, int32_t value) {
    SceneNode* node = createNode();
    addGroup(&node->actions);
    ActionDesc desc = ActionDesc();
    initAction(&desc, 1, true, -1.0);
    setActionParams(&desc, callback, value, 0.0, 0.0, 0.0);
    addAction(&node->actions, desc);
    activateGroup(&node->actions, 0);
    addChild(gameLayer, node);
}
