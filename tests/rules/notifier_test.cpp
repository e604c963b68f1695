#include "rules/notifier.h"

#include "support/frozen_clock.h"
#include "support/recording_publisher.h"

#include <gtest/gtest.h>

namespace {

using Publication = RecordingPublisher::Publication;

class NotifierTest : public FrozenClockTest {
protected:
    QDateTime inMinutes(int minutes) const { return Clock::nowUtc().addSecs(minutes * 60); }

    RecordingPublisher publisher;
    TH1Notifier h1{"SN01", publisher};
    TAlarmeNotifier alarme{"SN01", publisher};
};

}  // namespace

TEST_F(NotifierTest, NewSubscriberGetsTheCurrentValueAtOnce) {
    h1.subscribe("client/a", inMinutes(20));
    alarme.subscribe("client/a", inMinutes(20));
    alarme.updateValue("E1 Over temp");
    alarme.subscribe("client/b", inMinutes(20));
    const QList<Publication> expected = {
        {"client/a", "H1|SN01|-1", false},
        {"client/a", "ALARME|SN01|", false},
        {"client/b", "ALARME|SN01|E1 Over temp", false},
    };
    EXPECT_EQ(publisher.published(), expected);
}

TEST_F(NotifierTest, PublishFansOutAndUpdatesWithoutPublishingStayCached) {
    h1.subscribe("a", inMinutes(20));
    h1.subscribe("b", inMinutes(20));
    publisher.takePublished();

    h1.updateValue("1");
    h1.publish();
    QList<Publication> fannedOut = publisher.takePublished();
    std::sort(fannedOut.begin(), fannedOut.end(), [](auto& l, auto& r) { return l.topic < r.topic; });
    const QList<Publication> expected = {{"a", "H1|SN01|1", false}, {"b", "H1|SN01|1", false}};
    EXPECT_EQ(fannedOut, expected);

    h1.updateValue("0");  // refused by the rule's publication test: no publish call
    h1.subscribe("c", inMinutes(20));
    EXPECT_EQ(publisher.takePublished(), QList<Publication>({{"c", "H1|SN01|0", false}}));

    h1.updateValue("");
    h1.publish();
    EXPECT_EQ(publisher.takePublished().first().payload, "H1|SN01|-1");
}

TEST_F(NotifierTest, DisconnectedSubscribeStoresButPublishesNothing) {
    publisher.setConnected(false);
    h1.subscribe("a", inMinutes(20));
    EXPECT_EQ(h1.subscriptionCount(), 1);
    h1.updateValue("1");
    h1.publish();
    publisher.setConnected(true);
    EXPECT_TRUE(publisher.published().isEmpty());
}

TEST_F(NotifierTest, ExpiredSubscriptionsLiveUntilTheNextDuePurge) {
    h1.subscribe("short", inMinutes(1));
    h1.subscribe("long", inMinutes(90));
    Clock::advance(10 * 60 * 1000);
    h1.sanitizeSubscriptions();  // not due yet: even the expired one stays
    EXPECT_EQ(h1.subscriptionCount(), 2);
    publisher.takePublished();
    h1.publish();
    EXPECT_EQ(publisher.takePublished().size(), 2);

    Clock::advance(20 * 60 * 1000);
    h1.sanitizeSubscriptions();
    EXPECT_EQ(h1.subscriptionCount(), 1);
    h1.publish();
    EXPECT_EQ(publisher.takePublished(), QList<Publication>({{"long", "H1|SN01|-1", false}}));
}

TEST_F(NotifierTest, RenewingAnIdMovesItsExpiry) {
    h1.subscribe("a", inMinutes(1));
    h1.subscribe("a", inMinutes(60));
    EXPECT_EQ(h1.subscriptionCount(), 1);
    Clock::advance(31 * 60 * 1000);
    h1.sanitizeSubscriptions();
    EXPECT_EQ(h1.subscriptionCount(), 1);
}
