// A menu scene's life: construction by mode, and the frame's update and draw.
#include "game/menu/menu_scene.h"

#include <new>

MenuScene* ConstructMenuScene(int32_t mode) {
    auto* scene = new (std::nothrow) MenuScene{};
    if (scene == nullptr) {
        return nullptr;
    }
    ConstructTaskPool(&scene->pool);
    scene->mode = mode;
    return scene;
}

void DestroyMenuScene(MenuScene* scene) {
    delete scene;
}

void UpdateMenuScene(MenuScene* scene) {
    scene->frame += 1;
}

void DrawMenuScene(MenuScene* /*scene*/) {}
