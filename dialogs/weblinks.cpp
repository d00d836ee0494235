// Buttons that open pages of the product's site in the browser, then end the
// program (saving the settings).
#include "dialogs/dialogs.h"

#include "platform/platform.h"
#include "shell/shell.h"
#include "store/store.h"

#ifndef TINTARIA_SITE_ADDRESS
#define TINTARIA_SITE_ADDRESS "https://tintaria.example"
#endif

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// Paths of the site, by link number.
static const char* linkPath(int link) {
    switch (link) {
    case 3: return "/facebook";
    case 4: return "/twitter";
    default: return "";
    }
}

static ActionDesc endless(ActionCallbackFn callback, int32_t i1, int32_t i3, double p1) {
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionParams(&action, callback, i1, 0, i3, p1, 0.0, 0.0);
    return action;
}

// ---------------------------------------------------------------------------
// Web links
// ---------------------------------------------------------------------------

std::string webLinkAddress(int link, int language) {
    return std::string(TINTARIA_SITE_ADDRESS) + linkPath(link) + "/?utm_source=tintaria&utm_medium=win-ad" +
           "&utm_term=main&utm_content=1.0.0&utm_campaign=" + languageCode(language);
}

GroupLink addWebLink(SceneNode* parent, const char* imageKey, double x, double y, double z, int link,
                     double hoverScale, int level, bool localised) {
    SceneNode* node = createNode();
    addFrameCallback(node, pickableFrameCallback, nullptr);
    loadModel(node, localised ? languageArchive(*settings) : "langall.pak", imageKey);
    setPosition(node, x, y, z);
    addGroup(&node->actions);
    addAction(&node->actions, endless(followWebLink, link, level, 0.0));
    addAction(&node->actions, endless(buttonHover, level, 0, hoverScale));
    activateGroup(&node->actions, 0);
    addChild(parent, node);
    addGroup(&node->actions);
    addAction(&node->actions, endless(fadeOutItem, 0, 0, 0.0));
    return GroupLink{&node->actions, 1};
}

void followWebLink(void*) {
    int level = currentAction->iparam3;
    if (dialogTransition || !leftClicked) return;
    bool hovered = (level == LEVEL_DIALOG && isHoveredInDialog()) ||
                   (level == LEVEL_INNER_DIALOG && innerDialogOpen && isHovered());
    if (!hovered) return;
    platformOpenAddress(webLinkAddress(currentAction->iparam1, getLanguage(*settings)));
    requestQuit();
}
