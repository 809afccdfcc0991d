#pragma once

// How the tests drive the two HTTP components to their end: THTTPGet's
// events recorded, a fetch from a loopback server, and a THttpClient
// download into a buffer.

#include "httpclient.h"
#include "httpget.h"
#include "loopback.h"

#include <QBuffer>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace components {

// Far below every default time-out, so a fetch that waits for one fails.
inline constexpr int kWaitMs = 5000;

const std::string kOk = "HTTP/1.0 200 OK\r\n";
const std::string kHello = kOk + "Content-Length: 5\r\n\r\nhello";

struct Record {
    int done = 0;
    int errors = 0;
    QByteArray body;
    std::vector<std::pair<int, int>> progress;
    int completions() const { return done + errors; }
};

inline void watch(THTTPGet &get, Record &record)
{
    get.OnDoneString = [&record](THTTPGet *, const QByteArray &body) {
        ++record.done;
        record.body = body;
    };
    get.OnError = [&record](THTTPGet *) { ++record.errors; };
    get.OnProgress = [&record](THTTPGet *, int total, int readed) { record.progress.emplace_back(total, readed); };
}

inline bool completes(const Record &record)
{
    return QTest::qWaitFor([&] { return record.completions() > 0; }, kWaitMs);
}

inline std::string withHost(std::string text, const std::string &host)
{
    for (auto at = text.find("{host}"); at != std::string::npos; at = text.find("{host}", at))
        text.replace(at, 6, host);
    return text;
}

struct Fetched {
    Record record;
    int status = 0;
};

// Fetches `url`, where "{host}" stands for the server, to its completion.
inline Fetched fetch(const loopback::Server &server, const std::string &url, const std::function<void(THTTPGet &)> &configure = {})
{
    Fetched fetched;
    THTTPGet get;
    watch(get, fetched.record);
    get.URL = QString::fromStdString(withHost(url, server.host()));
    if (configure)
        configure(get);
    get.Start();
    EXPECT_TRUE(completes(fetched.record)) << url;
    EXPECT_FALSE(get.isBusy()) << url;
    fetched.status = get.status();
    return fetched;
}

// Runs one download of `url` into a buffer: the exception, if any.
inline std::optional<EHttpException> download(THttpClient &client, const std::string &url, QBuffer &body)
{
    body.open(QIODevice::WriteOnly);
    client.URL = QString::fromStdString(url);
    client.BodyStream = &body;
    try {
        client.GetToStream();
    } catch (const EHttpException &e) {
        client.BodyStream = nullptr;
        return e;
    }
    client.BodyStream = nullptr;
    return std::nullopt;
}

} // namespace components
