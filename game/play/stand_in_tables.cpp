// The stand-in kind rows.
#include "game/play/stand_in_tables.h"

#include "game/behaviour/behaviour_tables.h"
#include "game/bullets/bullet_manager.h"
#include "game/play/play_state.h"

void InstallStandInPlayTables() {
    PlayTables = PlayKindTables{};
    for (int kind = 0; kind < kKindRows; ++kind) {
        BulletInfoRow& bullet = PlayTables.bulletRows[kind];
        bullet.style = kBulletPlain;
        bullet.width = 16;
        bullet.height = 16;
        bullet.real1 = 2.0;
        bullet.real2 = 1.0;
        bullet.real3 = kind == 19 ? 6.0 : 3.5;
        bullet.hitRadius = 16.0;
        EnemyInfoRow& enemy = PlayTables.enemyRows[kind];
        bool boss = kind == 19;
        enemy.width = boss ? 96 : 32;
        enemy.height = boss ? 96 : 32;
        enemy.real1 = boss ? 30.0 : 10.0;
        enemy.real2 = boss ? 40.0 : 16.0;
        enemy.hitRadius = 32.0;
    }
}

void PrepareStandInPlay() {
    InstallStandInPlayTables();
    RegisterBulletBehaviours();
    RegisterEnemyBehaviours();
    RegisterObjectBehaviours();
    RegisterPlayerBehaviours();
}
