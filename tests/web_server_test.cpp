// The web front-end's server on its own: the actions that wait for the device are bounded,
// and none is taken after the program ended (the browser tests, tests/web/, cover the rest).
#include "emulator/web/server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <stdexcept>

namespace {

TEST(WebServer, AtMost64ActionsWaitTheRestAreRefusedAndNoneAfterTheEnd) {
    std::unique_ptr<emu::web::Server> server;
    int port = 28240;
    for (; !server && port < 28340; ++port) {
        try {
            server = std::make_unique<emu::web::Server>(port, 240, 320, "{{TOKEN}}");
        } catch (const std::runtime_error&) {
        }
    }
    ASSERT_TRUE(server) << "no free port";
    httplib::Client client("127.0.0.1", port - 1);
    const auto page = client.Get("/");
    ASSERT_TRUE(page);
    const httplib::Headers token = {{"X-Velmot-Token", page->body}};
    auto tap = [&](int x) {
        const auto answer = client.Post("/tap", token, "{\"x\":" + std::to_string(x) + ",\"y\":2}",
                                        "application/json");
        return answer ? answer->status : 0;
    };

    int accepted = 0, refused = 0;
    for (int x = 0; x < 70; ++x) {
        const int status = tap(x);
        accepted += status == 204;
        refused += status == 429;
    }
    EXPECT_EQ(accepted, 64);
    EXPECT_EQ(refused, 6);
    for (int x = 0; x < 64; ++x) { // in the order sent
        const std::optional<emu::web::Action> action =
            server->NextAction(std::chrono::milliseconds(0));
        ASSERT_TRUE(action);
        EXPECT_EQ(action->x, x);
    }
    EXPECT_FALSE(server->NextAction(std::chrono::milliseconds(0)));

    server->PublishEnd(0, "velmot.exe exited with code 0");
    EXPECT_EQ(tap(1), 409);
    EXPECT_FALSE(server->NextAction(std::chrono::milliseconds(0)));
}

} // namespace
