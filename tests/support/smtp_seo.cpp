#include "smtp_seo.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/seo.h"

namespace vrel::test {

void RegisterSmtpWithSeo() {
    win::RegisterEventManagerClass();
    std::shared_ptr<win::IEventManager> manager;
    ASSERT_EQ(win::QueryInterface(win::CreateEventManager(), manager), win::S_OK);
    std::shared_ptr<win::IEventSourceTypes> sourceTypes;
    std::shared_ptr<win::IEventSourceType> sourceType;
    std::shared_ptr<win::IEventTypes> eventTypes;
    std::shared_ptr<win::IEventSources> sources;
    std::shared_ptr<win::IEventSource> source;
    ASSERT_EQ(manager->get_SourceTypes(sourceTypes), win::S_OK);
    ASSERT_EQ(sourceTypes->Add(win::kSmtpSourceType, sourceType), win::S_OK);
    ASSERT_EQ(sourceType->get_EventTypes(eventTypes), win::S_OK);
    ASSERT_EQ(eventTypes->Add(win::kSmtpOnArrivalEventType), win::S_OK);
    ASSERT_EQ(sourceType->get_Sources(sources), win::S_OK);
    ASSERT_EQ(sources->Add(win::kSmtpVirtualServer1Source, source), win::S_OK);
}

std::shared_ptr<win::IEventBindings> ArrivalBindings() {
    std::shared_ptr<win::IEventBindings> bindings;
    win::OpenArrivalBindings(bindings);
    return bindings;
}

}  // namespace vrel::test
