/* The limit of a collection run's network work: fetch each URL of a list in order with libcurl,
 * a new easy handle (so a new connection) for each, writing each body to a file of its own.
 * Usage: curl_loop <url-list> <output-dir>; prints the elapsed microseconds. */
#include <curl/curl.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static size_t WriteBody(char* data, size_t size, size_t count, void* file) {
    return fwrite(data, size, count, (FILE*)file) * size;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s <url-list> <output-dir>\n", argv[0]);
        return 2;
    }
    FILE* list = fopen(argv[1], "r");
    if (!list) {
        perror(argv[1]);
        return 1;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    struct timespec begin, end;
    clock_gettime(CLOCK_MONOTONIC, &begin);
    char url[4096];
    int index = 0, failures = 0;
    while (fgets(url, sizeof url, list)) {
        url[strcspn(url, "\r\n")] = '\0';
        if (!url[0])
            continue;
        char path[4096];
        snprintf(path, sizeof path, "%s/%d", argv[2], index++);
        FILE* out = fopen(path, "wb");
        if (!out) {
            perror(path);
            return 1;
        }
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, url);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
        if (curl_easy_perform(curl) != CURLE_OK)
            ++failures;
        curl_easy_cleanup(curl);
        fclose(out);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    fclose(list);
    curl_global_cleanup();
    long long micros = (end.tv_sec - begin.tv_sec) * 1000000LL + (end.tv_nsec - begin.tv_nsec) / 1000;
    printf("%lld\n", micros);
    return failures ? 1 : 0;
}
